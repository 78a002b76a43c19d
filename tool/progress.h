// tool/progress.h: progress of a long import: a bar redrawn in place on a
// terminal (rows, rows per second, ETA), plain lines otherwise.
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

namespace korvo::tool {

class Progress {
 public:
  // `totalBytes` is the input's size (0 when unknown: no bar, no ETA).
  Progress(std::ostream& out, bool terminal, size_t totalBytes);
  // Reports `rows` done after `bytes` of input; draws at most ten times a
  // second on a terminal, a plain line every `kLineEvery` rows otherwise.
  void Update(size_t rows, size_t bytes);
  // Prints `message` as a line of its own (the bar is drawn again after).
  void Message(const std::string& message);
  // Draws the bar a last time and ends its line; the caller prints the
  // summary.
  void Finish();

  static constexpr size_t kLineEvery = 10000;

 private:
  std::string BarLine(size_t rows, size_t bytes) const;
  double Seconds() const;

  std::ostream& out_;
  bool terminal_;
  size_t total_bytes_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_draw_{};
  size_t next_line_ = kLineEvery;
  bool bar_shown_ = false;
  size_t last_rows_ = 0, last_bytes_ = 0;
};

}  // namespace korvo::tool
