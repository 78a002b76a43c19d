// ado/row_store.cpp: encoding and decoding of snapshot rows.
#include <korvo/ado/row_store_internal.h>
#include <korvo/platform/hot_internal.h>

#include <cstring>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;

constexpr size_t kBlockSize = size_t{1} << 20;
constexpr size_t kMaxVarint = 10;

char* PutVarint(char* p, uint64_t v) {
  while (v >= 0x80) {
    *p++ = static_cast<char>(v | 0x80);
    v >>= 7;
  }
  *p++ = static_cast<char>(v);
  return p;
}

const char* GetVarint(const char* p, uint64_t* v) {
  // Most lengths and many integers take one byte.
  if ((static_cast<unsigned char>(*p) & 0x80) == 0) {
    *v = static_cast<unsigned char>(*p);
    return p + 1;
  }
  uint64_t result = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*p++);
    result |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  *v = result;
  return p;
}

uint64_t ZigZag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t UnZigZag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

char* Encode(char* p, const Cell& c) {
  *p++ = static_cast<char>(c.type);
  switch (c.type) {
    case CellType::kNull:
      break;
    case CellType::kInt:
      p = PutVarint(p, ZigZag(c.i));
      break;
    case CellType::kReal:
      std::memcpy(p, &c.r, sizeof c.r);
      p += sizeof c.r;
      break;
    case CellType::kText:
    case CellType::kBlob:
      p = PutVarint(p, c.size);
      if (c.size) std::memcpy(p, c.data, c.size);
      p += c.size;
      break;
  }
  return p;
}

}  // namespace

char* RowStore::Reserve(size_t bytes) {
  if (blocks_.empty() || block_used_ + bytes > block_size_) {
    const size_t size = bytes > kBlockSize ? bytes : kBlockSize;
    // Not zero-filled: every byte a row uses is written before it is read.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    block_size_ = size;
    block_used_ = 0;
    total_block_bytes_ += size;
  }
  return blocks_.back().get() + block_used_;
}

KORVO_HOT void RowStore::AppendCells(const Cell* cells) {
  // At most a tag and the longest varint per cell (a real's 8 bytes are
  // fewer), and the bytes of text and blobs.
  size_t bound = columns_ * (1 + kMaxVarint);
  for (size_t i = 0; i < columns_; ++i) {
    if (cells[i].type == CellType::kText || cells[i].type == CellType::kBlob)
      bound += cells[i].size;
  }
  char* start = Reserve(bound);
  char* p = start;
  for (size_t i = 0; i < columns_; ++i) p = Encode(p, cells[i]);
  block_used_ += static_cast<size_t>(p - start);
  rows_.push_back(start);
}

void RowStore::ReplaceCells(size_t row, const Cell* cells) {
  AppendCells(cells);
  rows_[row] = rows_.back();
  rows_.pop_back();
}

void RowStore::Erase(size_t row) { rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row)); }

void RowStore::Append(const provider::Statement& statement) {
  // One buffer for every row: no allocation or clearing per row.
  if (scratch_.size() != columns_) scratch_.resize(columns_);
  statement.GetRow(scratch_.data(), static_cast<int>(columns_));
  AppendCells(scratch_.data());
}

void RowStore::Read(size_t row, Cell* out) const {
  const char* p = rows_[row];
  for (size_t i = 0; i < columns_; ++i) {
    Cell& c = out[i];
    c.type = static_cast<CellType>(*p++);
    uint64_t v = 0;
    switch (c.type) {
      case CellType::kNull:
        break;
      case CellType::kInt:
        p = GetVarint(p, &v);
        c.i = UnZigZag(v);
        break;
      case CellType::kReal:
        std::memcpy(&c.r, p, sizeof c.r);
        p += sizeof c.r;
        break;
      case CellType::kText:
      case CellType::kBlob:
        p = GetVarint(p, &v);
        c.size = static_cast<size_t>(v);
        c.data = p;
        p += v;
        break;
    }
  }
}

size_t RowStore::MemoryBytes() const {
  return total_block_bytes_ + rows_.capacity() * sizeof(const char*) +
         blocks_.capacity() * sizeof(blocks_[0]);
}

}  // namespace korvo::ado
