// types/node_blocks_internal.h: the node blocks shared by CTPtrList and
// CDBMapPtrToPtr. A block is one operator-new allocation: a link to the
// previous block, then `blockSize` nodes. Unused nodes wait on a free list
// linked through their pNext field. Private to the library.
#pragma once

#include <cstddef>
#include <new>

namespace korvo::types {

// Pops a node from `freeList`, first allocating a block in front of
// `blocks` when the list is empty; its nodes are pushed from the last to the
// first so that the block's first node is taken first. Throws std::bad_alloc
// with nothing changed.
template <typename Block, typename Node>
Node* TakeNode(Block*& blocks, Node*& freeList, int blockSize) {
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
  return node;
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
