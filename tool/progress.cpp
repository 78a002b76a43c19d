// tool/progress.cpp: the import's progress display.
#include "progress.h"

#include <cstdio>

namespace korvo::tool {

Progress::Progress(std::ostream& out, bool terminal, size_t totalBytes)
    : out_(out), terminal_(terminal), total_bytes_(totalBytes) {}

double Progress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string Progress::BarLine(size_t rows, size_t bytes) const {
  constexpr int kBarWidth = 30;
  const double seconds = Seconds();
  const double rate = seconds > 0 ? static_cast<double>(rows) / seconds : 0;
  char text[160];
  if (total_bytes_ == 0) {
    std::snprintf(text, sizeof text, "%zu rows  %.0f rows/s", rows, rate);
    return text;
  }
  const double done = std::min(1.0, static_cast<double>(bytes) / static_cast<double>(total_bytes_));
  const int filled = static_cast<int>(done * kBarWidth);
  const double eta = done > 0 ? seconds * (1 - done) / done : 0;
  std::snprintf(text, sizeof text, "[%s%s] %3.0f%%  %zu rows  %.0f rows/s  ETA %.0f s",
                std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), done * 100, rows,
                rate, eta);
  return text;
}

void Progress::Update(size_t rows, size_t bytes) {
  last_rows_ = rows;
  last_bytes_ = bytes;
  if (!terminal_) {
    if (rows < next_line_) return;
    next_line_ = rows + kLineEvery;
    out_ << BarLine(rows, bytes) << '\n' << std::flush;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (bar_shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  // "\r" and erase-line redraw the bar where it stands.
  out_ << "\r\x1b[2K" << BarLine(rows, bytes) << std::flush;
  bar_shown_ = true;
}

void Progress::Message(const std::string& message) {
  if (terminal_ && bar_shown_) {
    out_ << "\r\x1b[2K" << message << '\n' << BarLine(last_rows_, last_bytes_) << std::flush;
    return;
  }
  out_ << message << '\n' << std::flush;
}

void Progress::Finish() {
  // The final figures stay on the screen.
  if (terminal_ && bar_shown_) {
    out_ << "\r\x1b[2K" << BarLine(last_rows_, last_bytes_) << '\n' << std::flush;
  }
  bar_shown_ = false;
}

}  // namespace korvo::tool
