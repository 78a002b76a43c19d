// types/node_blocks_internal.h: the node blocks shared by CTPtrList and
// CDBMapPtrToPtr. A block is one operator-new allocation: a link to the
// previous block, then `blockSize` nodes. Unused nodes wait on a free list
// linked through their pNext field. Private to the library.
#pragma once

#include <cstddef>
#include <new>

namespace korvo::types {

// Pops a node from `freeList` and counts it in `count`, first allocating a
// block in front of `blocks` when the list is empty; its nodes are pushed
// from the last to the first so that the block's first node is taken first.
// Throws std::bad_alloc with nothing changed. The node's fields other than
// pNext are the caller's to set.
template <typename Block, typename Node>
Node* TakeNode(Block*& blocks, Node*& freeList, int blockSize, int& count) {
  if (freeList == nullptr) {
    auto* block = static_cast<Block*>(
        ::operator new(sizeof(Block) + sizeof(Node) * static_cast<size_t>(blockSize)));
    block->pNext = blocks;
    blocks = block;
    Node* nodes = reinterpret_cast<Node*>(block + 1);
    for (int i = blockSize - 1; i >= 0; --i) {
      nodes[i].pNext = freeList;
      freeList = &nodes[i];
    }
  }
  Node* node = freeList;
  freeList = node->pNext;
  ++count;
  return node;
}

// Pushes `node` back on `freeList` and counts it out of `count`. Returns
// true when that was the last node in use: the owner then returns every
// block, so an emptied container holds no memory.
template <typename Node>
bool ReturnNode(Node* node, Node*& freeList, int& count) {
  node->pNext = freeList;
  freeList = node;
  --count;
  return count == 0;
}

// Returns every block to the heap.
template <typename Block>
void FreeBlocks(Block*& blocks) {
  while (blocks != nullptr) {
    Block* next = blocks->pNext;
    ::operator delete(blocks);
    blocks = next;
  }
}

}  // namespace korvo::types
