// tool/trace_command.cpp: writing the trace switch and reading trace files.
#include "trace_command.h"

#include <korvo/Korvo.h>
#include <strings.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace korvo::tool {
namespace {

constexpr const char* kKeyPath = korvo::diag::kSettingsKey;
constexpr const char kValueName[] = "Dbms Korvo Trace";
constexpr const char kHeader[] = "Windows Registry Editor Version 5.00";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsOurSection(const std::string& line) {
  const std::string l = Lower(line);
  const std::string key = Lower(kKeyPath);
  return l == "[hkey_local_machine\\" + key + "]" || l == "[hklm\\" + key + "]";
}

bool IsTraceValue(const std::string& line) {
  return Lower(line).rfind(Lower(std::string("\"") + kValueName + "\""), 0) == 0;
}

// A registry text value with its \\ and \" escapes.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The directory the registry names for the trace, empty when off.
std::string TraceDirectory() {
  const korvo::platform::UniqueRegKey key = korvo::diag::OpenSettingsKey();
  if (!key) return {};
  char buffer[4096];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG status = RegQueryValueExA(key.get(), kValueName, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  if (status != ERROR_SUCCESS || type != REG_SZ || size == 0) return {};
  return std::string(buffer);
}

int WriteSwitch(const std::string& directory, std::ostream& out, std::ostream& err) {
  const std::string path = RegistryPath();
  try {
    const std::string updated = WithTraceValue(ReadWholeFile(path), directory);
    const std::filesystem::path file(path);
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    // Written beside and renamed, so that a process starting meanwhile
    // reads the old file or the new one, never half of one.
    const std::string temporary = path + ".tmp";
    {
      std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
      stream << updated;
      if (!stream.flush()) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, path);
  } catch (const std::exception& e) {
    err << "error: " << e.what() << "\n";
    return 1;
  }
  if (directory.empty()) {
    out << "trace off: " << path << " no longer names a trace directory\n";
  } else {
    out << "trace on: " << path << " names " << directory << "\n"
        << "processes started from now on write " << directory << "/~KORVO<pid>.log\n";
  }
  if (std::getenv("KORVO_REGISTRY") == nullptr) return 0;
  out << "(programs read this file while KORVO_REGISTRY=" << path << ")\n";
  return 0;
}

}  // namespace

std::string RegistryPath() {
  const char* chosen = std::getenv("KORVO_REGISTRY");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/etc/korvo/registry.reg";
}

std::string WithTraceValue(const std::string& registry, const std::string& directory) {
  if (registry.size() >= 2 && static_cast<unsigned char>(registry[0]) == 0xFF &&
      static_cast<unsigned char>(registry[1]) == 0xFE) {
    throw std::runtime_error("the registry file is UTF-16; save it as UTF-8 to let korvo edit it");
  }
  std::vector<std::string> lines;
  std::istringstream in(registry);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  const bool has_header =
      !lines.empty() && (lines[0].rfind(kHeader, 0) == 0 || lines[0].rfind("REGEDIT4", 0) == 0);
  if (!has_header) lines.insert(lines.begin(), {kHeader, ""});

  const std::string value_line = std::string("\"") + kValueName + "\"=" + Quoted(directory);
  std::vector<std::string> result;
  bool in_section = false, section_seen = false;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '[') in_section = IsOurSection(line);
    if (in_section && IsTraceValue(line)) continue;
    result.push_back(line);
    if (in_section && IsOurSection(line)) {
      section_seen = true;
      if (!directory.empty()) result.push_back(value_line);
    }
  }
  if (!section_seen && !directory.empty()) {
    if (!result.empty() && !result.back().empty()) result.push_back("");
    result.push_back(std::string("[HKEY_LOCAL_MACHINE\\") + kKeyPath + "]");
    result.push_back(value_line);
  }
  std::string text;
  for (const std::string& line : result) text += line + "\r\n";
  return text;
}

int TraceOn(const std::string& directory, std::ostream& out, std::ostream& err) {
  if (directory.empty()) {
    err << "error: trace on needs a directory\n";
    return 2;
  }
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);
  const std::string absolute = std::filesystem::absolute(directory).lexically_normal().string();
  return WriteSwitch(absolute, out, err);
}

int TraceOff(std::ostream& out, std::ostream& err) { return WriteSwitch("", out, err); }

int ShowTrace(long pid, std::ostream& out, std::ostream& err) {
  const std::string directory = TraceDirectory();
  if (directory.empty()) {
    err << "error: the trace is off (" << RegistryPath() << " names no trace directory)\n";
    return 1;
  }
  std::string file = directory + "/~KORVO" + std::to_string(pid) + ".log";
  const bool newest = pid <= 0;
  if (newest) {
    // The most recently written trace of any process.
    std::filesystem::file_time_type newest{};
    file.clear();
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
      const std::string name = entry.path().filename().string();
      const auto written = entry.last_write_time(ignored);
      if (name.rfind("~KORVO", 0) != 0 || (!file.empty() && written < newest)) continue;
      newest = written;
      file = entry.path().string();
      pid = std::atol(name.c_str() + 6);
    }
  }
  if (file.empty()) {
    err << "error: no trace file in " << directory << "\n";
    return 1;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    err << "error: no trace file " << file << "\n";
    return 1;
  }
  std::ostringstream raw;
  raw << in.rdbuf();
  // Entries begin with "\r\n" and have no line end of their own.
  std::string text = raw.str();
  std::string lines;
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if (text.compare(pos, 2, "\r\n") == 0) {
      if (!lines.empty()) lines += '\n';
      ++pos;
    } else {
      lines += text[pos];
    }
  }
  // Another process cannot know which one the user means: the newest file
  // is named as such, so that it is not taken for the caller's own.
  if (newest) {
    out << "the newest trace file, of process " << pid << ": " << file
        << "\n(korvo trace show PID prints another one)\n";
  } else {
    out << "trace of process " << pid << " (" << file << "):\n";
  }
  out << lines << "\n";
  return 0;
}

}  // namespace korvo::tool
