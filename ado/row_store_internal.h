// ado/row_store_internal.h: the compact row store behind a client cursor.
//
// A client cursor is a snapshot of the whole result. Rows are encoded one
// after the other into 1 MiB blocks (a row never spans two): per cell a
// tag byte, then a zigzag varint for integers, 8 bytes for reals, or a
// varint length and the bytes for text and blobs. No VARIANT or BSTR is
// made until a value is asked for, so the snapshot takes about as much
// memory as the engine's own pages for the same rows.
// Thread-safety: caller must synchronise. Owns its blocks.
#pragma once

#include <korvo/ado/providers/provider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvo::ado {

class RowStore {
 public:
  explicit RowStore(size_t columns) : columns_(columns) {}
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  // Appends the current row of `statement` (its first `columns` cells).
  void Append(const provider::Statement& statement);
  // Appends one row given as cells (tests, the write path).
  void AppendCells(const provider::Cell* cells);
  // Replaces row `row` with `cells` (the new encoding is appended; the old
  // bytes stay unused until the store goes). REQUIRES: row < size().
  void ReplaceCells(size_t row, const provider::Cell* cells);
  // Removes row `row`; later rows move up by one. REQUIRES: row < size().
  void Erase(size_t row);

  size_t size() const { return rows_.size(); }
  size_t columns() const { return columns_; }

  // Decodes row `row` into `out` (columns() cells). Text and blob cells
  // point into the store and stay valid while the store lives.
  // REQUIRES: row < size().
  void Read(size_t row, provider::Cell* out) const;

  // Bytes held: blocks plus the row index.
  size_t MemoryBytes() const;

 private:
  char* Reserve(size_t bytes);

  size_t columns_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t block_used_ = 0;
  size_t block_size_ = 0;
  size_t total_block_bytes_ = 0;
  std::vector<const char*> rows_;
  std::vector<provider::Cell> scratch_;  // Append's cells of the row being copied
};

}  // namespace korvo::ado
