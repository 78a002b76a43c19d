// Tests of the client cursor's row store against a plain vector model.
#include <gtest/gtest.h>
#include <korvo/ado/row_store_internal.h>

#include <climits>
#include <random>
#include <string>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;

struct ModelCell {
  CellType type;
  int64_t i;
  double r;
  std::string bytes;
};

TEST(RowStore, RoundTripsRandomRowsAgainstAModel) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  const size_t columns = 5;
  RowStore store(columns);
  std::vector<std::vector<ModelCell>> model;
  const int64_t edges[] = {0, -1, 1, INT64_MIN, INT64_MAX, 63, -64, 64, 1 << 20};
  for (int row = 0; row < 3000; ++row) {
    std::vector<ModelCell> m(columns);
    Cell cells[columns];
    for (size_t c = 0; c < columns; ++c) {
      m[c].type = static_cast<CellType>(rng() % 5);
      if (row == 1500 && c == 0) m[c].type = CellType::kBlob;
      m[c].i = rng() % 3 ? static_cast<int64_t>(rng()) : edges[rng() % 9];
      m[c].r = static_cast<double>(static_cast<int64_t>(rng())) / 7.0;
      // Mostly short texts, now and then one larger than a block.
      const size_t len = row == 1500 && c == 0 ? (size_t{1} << 21) : rng() % 40;
      m[c].bytes.resize(len);
      for (char& ch : m[c].bytes) ch = static_cast<char>(rng());
      cells[c].type = m[c].type;
      cells[c].i = m[c].i;
      cells[c].r = m[c].r;
      cells[c].data = m[c].bytes.data();
      cells[c].size = m[c].bytes.size();
    }
    store.AppendCells(cells);
    model.push_back(std::move(m));
  }
  ASSERT_EQ(store.size(), model.size());
  Cell out[columns];
  for (size_t row = 0; row < model.size(); ++row) {
    store.Read(row, out);
    for (size_t c = 0; c < columns; ++c) {
      const ModelCell& m = model[row][c];
      ASSERT_EQ(out[c].type, m.type) << row << "," << c;
      switch (m.type) {
        case CellType::kInt:
          ASSERT_EQ(out[c].i, m.i);
          break;
        case CellType::kReal:
          ASSERT_EQ(out[c].r, m.r);
          break;
        case CellType::kText:
        case CellType::kBlob:
          ASSERT_EQ(std::string(out[c].data, out[c].size), m.bytes);
          break;
        case CellType::kNull:
          break;
      }
    }
  }
  EXPECT_GT(store.MemoryBytes(), size_t{1} << 21);
}

}  // namespace
}  // namespace korvo::ado
