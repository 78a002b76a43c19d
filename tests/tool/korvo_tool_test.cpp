// Tests that use the korvo program as a person would: typing into its
// prompt inside tmux and reading the screen, importing and exporting CSV
// files, reading its error output. The program is $KORVO_TOOL.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// '...' for sh.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tool = std::getenv("KORVO_TOOL");
    ASSERT_NE(tool, nullptr) << "KORVO_TOOL names the program under test";
    tool_ = tool;
    char pattern[] = "/tmp/korvo_tool_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    db_ = dir_ + "/test.db";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs korvo with `arguments` (already quoted for sh) under `env`.
  Outcome Korvo(const std::string& arguments, const std::string& env = "") {
    const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    const std::string command = env + " " + Quote(tool_) + " " + arguments + " >" + Quote(out) +
                                " 2>" + Quote(err) + " </dev/null";
    const int raw = std::system(command.c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
  }
  Outcome Sql(const std::string& sql, const std::string& flags = "") {
    return Korvo(flags + " " + Quote(db_) + " " + Quote(sql));
  }

  std::string tool_, dir_, db_;
};

// The prompt in a tmux session of its own (own server socket, killed at
// the end); the screen is polled with a generous deadline.
class TmuxPrompt {
 public:
  TmuxPrompt(const std::string& dir, const std::string& command) : socket_(dir + "/tmux.sock") {
    Tmux("-u new-session -d -x 100 -y 40 " + Quote(command));
  }
  ~TmuxPrompt() { Tmux("kill-server"); }

  void Type(std::string text) {
    // tmux takes an argument ending in ';' for a command separator.
    if (!text.empty() && text.back() == ';') text.insert(text.size() - 1, "\\");
    Tmux("send-keys -l " + Quote(text));
    Tmux("send-keys Enter");
  }
  void Key(const std::string& key) { Tmux("send-keys " + key); }
  // The pane's process: the program itself when the command began with exec.
  std::string PanePid() {
    const std::string file = socket_ + ".pid";
    Tmux("display-message -p '#{pane_pid}' > " + Quote(file));
    std::string pid = ReadText(file);
    while (!pid.empty() && pid.back() == '\n') pid.pop_back();
    return pid;
  }
  std::string Screen() {
    const std::string file = socket_ + ".screen";
    Tmux("capture-pane -p -J -S -200 > " + Quote(file));
    return ReadText(file);
  }
  // Waits until the screen shows `text`; returns the screen (failing the
  // test with it when the deadline passes).
  std::string WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string screen;
    while (std::chrono::steady_clock::now() < deadline) {
      screen = Screen();
      if (screen.find(text) != std::string::npos) return screen;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "the screen never showed \"" << text << "\":\n" << screen;
    return screen;
  }

 private:
  void Tmux(const std::string& arguments) {
    std::system(("tmux -S " + Quote(socket_) + " " + arguments).c_str());
  }
  std::string socket_;
};

TEST_F(ToolTest, PromptRunsTypedStatementsWithTablesErrorsAndHistory) {
  TmuxPrompt prompt(dir_, "KORVO_HISTORY=" + dir_ + "/history " + Quote(tool_) + " " + Quote(db_));
  prompt.WaitFor("korvo> ");
  prompt.Type("CREATE TABLE people (id INTEGER, name TEXT);");
  prompt.WaitFor("0 rows affected in");
  // A statement over two lines, wide characters and a NULL.
  prompt.Type("INSERT INTO people VALUES (1, '漢字'),");
  prompt.WaitFor("  ...> ");
  prompt.Type("  (22, NULL), (333, 'Ann');");
  prompt.WaitFor("3 rows affected in");
  prompt.Type("SELECT id, name FROM people ORDER BY id;");
  std::string screen = prompt.WaitFor("3 rows in");
  EXPECT_THAT(screen, HasSubstr(" id | name\n"
                                "----+-----\n"
                                "  1 | 漢字\n"
                                " 22 | NULL\n"
                                "333 | Ann\n"));
  prompt.Type("SELECT nope FROM people;");
  screen = prompt.WaitFor("origin [");
  EXPECT_THAT(screen, HasSubstr("return code 1000"));
  // The up arrow brings the last statement back for editing.
  prompt.Key("Up");
  prompt.Key("-N 7 BSpace");  // "people;"
  prompt.Type("people WHERE id = 22;");
  prompt.WaitFor("SELECT nope FROM people WHERE id = 22;");
  prompt.Type(".quit");
  // libedit writes blanks in the history file as \040.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadText(dir_ + "/history").find("nope") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_THAT(ReadText(dir_ + "/history"), HasSubstr("people"));
}

TEST_F(ToolTest, RowsPrintWhateverTheStatementBeginsWith) {
  const Outcome run =
      Sql("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT NOT NULL);"
          "WITH x(n) AS (VALUES (2), (3)) SELECT n * 10 AS v FROM x;"
          "VALUES (1, NULL);"
          "PRAGMA table_info(t);"
          "INSERT INTO t VALUES (7, 'a') RETURNING id * 2 AS twice;"
          "DELETE FROM t",
          "--csv");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "v\n20\n30\n"
            "column1,column2\n1,\n"
            "cid,name,type,notnull,dflt_value,pk\n0,id,INTEGER,0,,1\n1,name,TEXT,1,,0\n"
            "twice\n14\n");
  // CREATE counts nothing; DELETE finds the row the INSERT added.
  EXPECT_THAT(run.err, HasSubstr("0 rows affected in"));
  EXPECT_THAT(run.err, HasSubstr("1 row affected in"));
}

TEST_F(ToolTest, ImportCommitsGoodRowsAndNamesTheBadLines) {
  ASSERT_EQ(Sql("CREATE TABLE t (id INTEGER NOT NULL, amount REAL, note TEXT)").status, 0);
  const std::string csv = dir_ + "/big.csv";
  {
    std::ofstream out(csv);
    out << "id,amount,note\n";
    for (int i = 1; i <= 100000; ++i) {
      const int line = i + 1;
      if (line == 1001) {
        out << i << ",not a number,x\n";
      } else if (line == 50000) {
        out << i << ",1.5\n";  // a field short
      } else if (line == 99999) {
        out << ",2.5,\"id is NULL\"\n";  // refused by the engine
      } else {
        out << i << ',' << i * 0.25 << ",\"row " << i << "\"\n";
      }
    }
  }
  const Outcome import = Korvo("import " + Quote(db_) + " t " + Quote(csv));
  EXPECT_EQ(import.status, 2) << import.err;
  EXPECT_THAT(import.out, HasSubstr("imported 99997 rows into t, rejected 3 lines"));
  EXPECT_THAT(import.err,
              HasSubstr("line 1001: rejected: column amount: \"not a number\" is not a number"));
  EXPECT_THAT(import.err, HasSubstr("line 50000: rejected: 2 fields where the header has 3"));
  EXPECT_THAT(import.err, HasSubstr("line 99999: rejected: "));
  // Plain progress lines, not a redrawn bar, when stderr is no terminal.
  EXPECT_THAT(import.err, HasSubstr("50000 rows"));
  EXPECT_THAT(import.err, Not(HasSubstr("\r")));

  const Outcome count = Sql("SELECT COUNT(*), SUM(id) FROM t", "--csv");
  EXPECT_EQ(count.out, "COUNT(*),SUM(id)\n99997," +
                           std::to_string(5000050000LL - 1000 - 49999 - 99998) + "\n");
}

TEST_F(ToolTest, ImportOnATerminalDrawsAProgressBar) {
  ASSERT_EQ(Sql("CREATE TABLE t (id INTEGER, note TEXT)").status, 0);
  {
    std::ofstream out(dir_ + "/small.csv");
    out << "id,note\n1,a\nx,b\n3,c\n";
  }
  TmuxPrompt terminal(dir_, Quote(tool_) + " import " + Quote(db_) + " t " +
                                Quote(dir_ + "/small.csv") + "; sleep 600");
  const std::string screen = terminal.WaitFor("imported 2 rows into t, rejected 1 line");
  EXPECT_THAT(screen, HasSubstr("line 3: rejected: column id: \"x\" is not an integer\n"));
  EXPECT_THAT(screen, HasSubstr("[##############################] 100%  2 rows  "));
  EXPECT_THAT(screen, HasSubstr(" rows/s  ETA 0 s"));
}

TEST_F(ToolTest, ExportThenImportRoundTripsEveryTypeAndNull) {
  const std::string columns =
      "(i INTEGER, big BIGINT, r REAL, d NUMERIC(10,2), s TEXT, v VARCHAR(20), b BLOB, "
      "dt DATETIME, day DATE, f BOOLEAN, t TINYINT, si SMALLINT)";
  ASSERT_EQ(Sql("CREATE TABLE a " + columns + "; CREATE TABLE b " + columns).status, 0);
  const Outcome insert = Sql(
      "INSERT INTO a VALUES "
      "(1, 9007199254740993, 0.1, 12.25, 'comma, \"quote\"' || char(10) || 'line', '漢字', "
      "x'00FF10', '2024-02-29 13:45:06', '1999-12-31 00:00:00', 1, 200, -32768),"
      "(-5, -1, -1.5e300, 0, '', ' padded ', x'', '1970-01-01 00:00:00', '2000-01-01 00:00:00', 0, "
      "0, 32767),"
      "(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  ASSERT_EQ(insert.status, 0) << insert.err;

  const std::string first = dir_ + "/a.csv", second = dir_ + "/b.csv";
  ASSERT_EQ(Korvo("export " + Quote(db_) + " a " + Quote(first)).status, 0);
  const Outcome import = Korvo("import " + Quote(db_) + " b " + Quote(first));
  ASSERT_EQ(import.status, 0) << import.err;
  ASSERT_EQ(Korvo("export " + Quote(db_) + " b " + Quote(second)).status, 0);
  EXPECT_EQ(ReadText(first), ReadText(second));

  // The engine's own view: same values and same storage classes.
  const std::string probe =
      "SELECT quote(i), quote(big), quote(r), quote(d), quote(s), quote(v), quote(b), "
      "quote(dt), quote(day), quote(f), quote(t), quote(si), typeof(s) FROM ";
  const Outcome left = Sql(probe + "a ORDER BY rowid", "--csv");
  const Outcome right = Sql(probe + "b ORDER BY rowid", "--csv");
  EXPECT_EQ(left.out, right.out);
  EXPECT_THAT(left.out, HasSubstr("NULL,NULL,NULL"));
  EXPECT_THAT(left.out, HasSubstr("'',"));  // the empty text stays
}

TEST_F(ToolTest, ErrorsShowReturnCodeNativeErrorAndOrigin) {
  const Outcome failed = Sql("SELECT * FROM missing_table");
  EXPECT_EQ(failed.status, 1);
  EXPECT_THAT(failed.err, HasSubstr("error: "));
  EXPECT_THAT(failed.err, HasSubstr("missing_table"));
  EXPECT_THAT(failed.err, HasSubstr("return code 1000, native error "));
  EXPECT_THAT(failed.err, HasSubstr("origin [50"));

  const Outcome statement = Sql("INSERT INTO nowhere VALUES (1)");
  EXPECT_EQ(statement.status, 1);
  EXPECT_THAT(statement.err, HasSubstr("origin [6007]"));

  const Outcome json = Sql("SELECT 1 AS n, 'x' AS s, NULL AS z", "--json");
  EXPECT_EQ(json.out, "[\n {\"n\": 1, \"s\": \"x\", \"z\": null}\n]\n");
}

TEST_F(ToolTest, TraceSwitchWritesTheRegistryAndShowPrintsTheTrace) {
  const std::string env = "KORVO_REGISTRY=" + Quote(dir_ + "/registry.reg");
  const Outcome on = Korvo("trace on " + Quote(dir_ + "/trace"), env);
  ASSERT_EQ(on.status, 0) << on.err;
  EXPECT_THAT(ReadText(dir_ + "/registry.reg"),
              HasSubstr("\"Dbms Korvo Trace\"=\"" + dir_ + "/trace\""));
  ASSERT_EQ(Korvo(Quote(db_) + " 'SELECT 1'", env).status, 0);
  const Outcome show = Korvo("trace show", env);
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(show.out.rfind("the newest trace file, of process ", 0), 0u) << show.out;
  EXPECT_THAT(show.out, HasSubstr(": " + dir_ + "/trace/~KORVO"));
  EXPECT_THAT(show.out, HasSubstr("CDatabase::OpenEx"));

  ASSERT_EQ(Korvo("trace off", env).status, 0);
  EXPECT_THAT(ReadText(dir_ + "/registry.reg"), Not(HasSubstr("Dbms Korvo Trace")));
  EXPECT_EQ(Korvo("trace show", env).status, 1);
}

TEST_F(ToolTest, PromptTraceShowsItsOwnProcessNotTheNewestFile) {
  const std::string env = "KORVO_REGISTRY=" + Quote(dir_ + "/registry.reg");
  ASSERT_EQ(Korvo("trace on " + Quote(dir_ + "/trace"), env).status, 0);
  TmuxPrompt prompt(dir_, "exec env " + env + " KORVO_HISTORY=" + Quote(dir_ + "/history") + " " +
                              Quote(tool_) + " " + Quote(db_));
  prompt.WaitFor("korvo> ");
  const std::string pid = prompt.PanePid();
  ASSERT_FALSE(pid.empty());
  // Another process writes a newer trace file meanwhile.
  ASSERT_EQ(Korvo(Quote(db_) + " 'SELECT 1'", env).status, 0);
  prompt.Type(".trace");
  const std::string screen =
      prompt.WaitFor("trace of process " + pid + " (" + dir_ + "/trace/~KORVO" + pid + ".log):");
  EXPECT_THAT(screen, HasSubstr("CDatabase::OpenEx"));
}

}  // namespace
