// ado/providers/postgresql/pg_cursor.cpp: preparing, binding, running,
// and reading rows in blocks from a declared cursor or in single-row mode.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/postgresql/pg_cursor.h>
#include <korvo/ado/providers/postgresql/pg_errors.h>
#include <korvo/ado/statement_split_internal.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace korvo::ado::provider::postgresql {
namespace {

// A parameter whose type the server cannot infer from its place
// ("SELECT ? IS NULL") is prepared again as text.
constexpr const char* kIndeterminateType = "42P18";
// A prepared statement whose result type a table change altered, and one
// the server no longer has.
constexpr const char* kPlanChanged = "0A000";
constexpr const char* kNoSuchStatement = "26000";
constexpr uint32_t kTextOid = 25;
// Rows per FETCH when the host's CacheSize is smaller: enough that the
// per-result costs (a FETCH, a PGresult) vanish behind the rows'.
constexpr long kBlockRows = 1000;
// After the first block a FETCH asks for as many rows as fit in about
// kBlockBytes of libpq's result memory (a value takes its bytes and about
// kValueOverhead more), up to kMaxBlockRows. A block that small is still
// in the processor's cache when the host reads it, and freeing it does not
// hand pages back to the system (malloc trims its heap beyond 128 KiB)
// that the next block would fault in again. (Measured on 1,000,000 rows of
// four columns: blocks of 32,000 rows cost the client 15-20% more CPU than
// blocks of 1000.)
constexpr long kBlockBytes = 96 << 10;
constexpr long kValueOverhead = 17;
constexpr long kMaxBlockRows = 32000;
// FETCHes queued on the server while the host reads a block: the server
// goes on to the next block without waiting for the host's next FETCH,
// however the two sides are scheduled; enough of them that the waits
// below can ask for a large part of what is in flight.
constexpr size_t kFetchesInFlight = 8;
// While further FETCHes are queued, a wait for a block wakes once this
// many bytes have arrived (or half of what the queued FETCHes bring, when
// that is less) instead of at every packet: the host reads faster than
// the server sends, and a wake-up per 8 KiB packet cost both sides CPU
// (about 5-8% of the server's for a read of 1,000,000 short rows). More
// than half of what is in flight would make the wait outlast the server's
// queue. A value travels as its bytes and a 4-byte length, a row with
// kRowHeader bytes more.
constexpr long kWakeBytes = 128 << 10;
// Such waits start only after this many blocks: the wait for the last
// block of a read, which brings fewer bytes than asked for, ends only when
// it gives up (kLowWaterPatienceMs), a delay that a read of fewer blocks
// would feel and that the wake-ups saved on so many blocks outweigh.
constexpr int kBlocksBeforeWaking = 64;
constexpr long kValueHeader = 4;
constexpr long kRowHeader = 7;

bool Failed(const PGresult* r) {
  const ExecStatusType s = PQresultStatus(r);
  return s == PGRES_FATAL_ERROR || s == PGRES_BAD_RESPONSE || s == PGRES_NONFATAL_ERROR;
}

// `sql` with its ? markers numbered as PostgreSQL's $1, $2, ...
std::string Numbered(const std::string& sql, const std::vector<size_t>& markers) {
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i < markers.size(); ++i) {
    out.append(sql, from, markers[i] - from);
    out += '$';
    out += std::to_string(i + 1);
    from = markers[i] + 1;
  }
  out.append(sql, from, std::string::npos);
  return out;
}

// A lone query whose rows a declared cursor can deliver: it begins with
// SELECT, VALUES or TABLE (possibly after parentheses). A WITH may hide a
// data-modifying statement, which DECLARE refuses.
bool Declarable(const std::string& sql) {
  size_t at = sql.find_first_not_of(" \t\r\n(");
  if (at == std::string::npos) return false;
  size_t end = at;
  while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end])) != 0) ++end;
  std::string word = sql.substr(at, end - at);
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word == "SELECT" || word == "VALUES" || word == "TABLE";
}

Result FailureOf(PGconn* conn) { return Result(PQmakeEmptyPGresult(conn, PGRES_FATAL_ERROR)); }

}  // namespace

PgStatement::PgStatement(std::shared_ptr<PgSession> session, std::string sql,
                         bool return_value_marker)
    : session_(std::move(session)), return_value_marker_(return_value_marker) {
  for (StatementPart& cut : SplitStatements(sql)) {
    Part& part = parts_.emplace_back();
    part.sql = std::move(cut.sql);
    part.markers = std::move(cut.markers);
  }
  if (parts_.size() == 1) parts_[0].declarable = Declarable(parts_[0].sql);
}

PgStatement::~PgStatement() {
  Reset();
  for (Part& part : parts_) {
    if (!part.name.empty()) session_->DropStatement(std::move(part.name));
    if (!part.declare_name.empty()) session_->DropStatement(std::move(part.declare_name));
  }
}

HRESULT PgStatement::PrepareFirst() {
  if (parts_.empty()) {
    return session_->diagnostics().Fail(ProviderRecord(
        kDbNoCommand, "42000", "The command text is empty: there is no statement to run."));
  }
  return PreparePart(parts_[0], parts_.size() == 1, NoDeadline());
}

HRESULT PgStatement::PreparePart(Part& part, bool describe, Deadline deadline) {
  if (!part.name.empty()) return kSOk;
  PGconn* conn = session_->conn();
  const std::string name = session_->NewStatementName();
  const std::string text = Numbered(part.sql, part.markers);
  const int count = static_cast<int>(part.markers.size());
  const std::vector<Oid> as_text(part.markers.size(), kTextOid);
  for (const Oid* types : {static_cast<const Oid*>(nullptr), as_text.data()}) {
    session_->Claim(nullptr);
    if (PQsendPrepare(conn, name.c_str(), text.c_str(), count, types) == 0)
      return session_->Fail(nullptr);
    Result failure = session_->Drain(deadline);
    if (!failure) break;
    const char* state = PQresultErrorField(failure.get(), PG_DIAG_SQLSTATE);
    if (types != nullptr || state == nullptr || std::strcmp(state, kIndeterminateType) != 0 ||
        count == 0) {
      return session_->Fail(failure.get());
    }
    session_->Recover();  // the retry must not find the transaction refusing it
  }
  part.name = name;
  if (!describe) return kSOk;
  if (PQsendDescribePrepared(conn, name.c_str()) == 0) return session_->Fail(nullptr);
  Result description = session_->Next(deadline);
  Result failure = session_->Drain(deadline);
  if (!description || Failed(description.get())) return session_->Fail(description.get());
  if (failure) return session_->Fail(failure.get());
  return Describe(part, description.get());
}

HRESULT PgStatement::Describe(Part& part, const PGresult* description) {
  const int count = PQnfields(description);
  part.columns.assign(static_cast<size_t>(count), ColumnInfo{});
  part.decodes.assign(static_cast<size_t>(count), Decode::kText);
  part.types.assign(static_cast<size_t>(count), 0);
  part.param_types.clear();
  for (int p = 0; p < PQnparams(description); ++p)
    part.param_types.push_back(PQparamtype(description, p));
  // Read all names first: the catalog reads below replace the result.
  std::vector<std::pair<Oid, int>> bases;
  for (int c = 0; c < count; ++c) {
    ColumnInfo& info = part.columns[static_cast<size_t>(c)];
    info.name = PQfname(description, c);
    part.types[static_cast<size_t>(c)] = PQftype(description, c);
    part.decodes[static_cast<size_t>(c)] =
        DescribeType(PQftype(description, c), PQfmod(description, c), &info);
    bases.emplace_back(PQftable(description, c), PQftablecol(description, c));
  }
  // Binary rows spare parsing numbers from text; only when every column
  // has a binary form (libpq asks for one format for all).
  std::vector<Decode> binary(static_cast<size_t>(count));
  part.binary = true;
  for (int c = 0; c < count && part.binary; ++c)
    part.binary = BinaryDecode(PQftype(description, c), &binary[static_cast<size_t>(c)]);
  if (part.binary) part.decodes = std::move(binary);
  for (int c = 0; c < count; ++c) {
    const auto [table, column] = bases[static_cast<size_t>(c)];
    if (table == InvalidOid || column <= 0) continue;
    const TableNames* names = session_->Table(table);
    if (session_->dead()) return session_->FailDead();
    if (names == nullptr) continue;
    const auto found = names->columns.find(column);
    if (found == names->columns.end()) continue;
    ColumnInfo& info = part.columns[static_cast<size_t>(c)];
    info.base_schema = names->schema;
    info.base_table = names->table;
    info.base_column = found->second;
    info.nullable = !names->not_null.at(column);
    info.autoincrement = names->generated.at(column);
  }
  return kSOk;
}

const std::vector<ColumnInfo>& PgStatement::Columns() {
  static const std::vector<ColumnInfo> kNone;
  return result_ != nullptr ? result_->columns : kNone;
}

void PgStatement::BindValues(const Part& part, const std::vector<ParamValue>& params,
                             size_t offset) {
  const size_t count = part.markers.size();
  texts_.resize(count);
  values_.assign(count, nullptr);
  lengths_.assign(count, 0);
  formats_.assign(count, 0);
  for (size_t j = 0; j < count; ++j) {
    const ParamValue& p = params[offset + j];
    std::string& text = texts_[j];
    switch (p.type) {
      case CellType::kNull:
        continue;
      case CellType::kInt:
        // A truth value is 1 or 0 whatever integer stands for true.
        text = std::to_string(p.ado_type == kAdBoolean ? int64_t{p.i != 0} : p.i);
        break;
      case CellType::kReal: {
        char buffer[32];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, p.r);
        text.assign(buffer, ec == std::errc() ? end : buffer);
        break;
      }
      case CellType::kText:
        text = p.bytes;
        break;
      case CellType::kBlob:
        // Bytes go in binary form: no escaping either way.
        values_[j] = p.bytes.data();
        lengths_[j] = static_cast<int>(p.bytes.size());
        formats_[j] = 1;
        continue;
    }
    values_[j] = text.c_str();
    lengths_[j] = static_cast<int>(text.size());
  }
}

PgStatement::Stale PgStatement::StaleKind(const PGresult* failure) {
  const char* state = PQresultErrorField(failure, PG_DIAG_SQLSTATE);
  if (state == nullptr) return Stale::kNo;
  if (std::strcmp(state, kPlanChanged) == 0) return Stale::kChanged;
  return std::strcmp(state, kNoSuchStatement) == 0 ? Stale::kGone : Stale::kNo;
}

HRESULT PgStatement::Execute(const std::vector<ParamValue>& params, Deadline deadline) {
  HRESULT hr = Run(params, deadline);
  if (hr >= 0 || stale_ == Stale::kNo || session_->dead()) return hr;
  // Nothing of the statement ran (its first part failed whole, back to the
  // statement savepoint inside a transaction): it is prepared again (and
  // described again, its columns may have changed) and run once more.
  Part& first = parts_[0];
  if (stale_ == Stale::kChanged) {
    session_->DropStatement(std::move(first.name));
    if (!first.declare_name.empty()) session_->DropStatement(std::move(first.declare_name));
  }
  first.name.clear();
  first.declare_name.clear();
  return Run(params, deadline);
}

HRESULT PgStatement::Run(const std::vector<ParamValue>& params, Deadline deadline) {
  stale_ = Stale::kNo;
  Diagnostics& diag = session_->diagnostics();
  diag.errors.clear();
  Reset();
  if (session_->dead()) return session_->FailDead();
  size_t total = 0;
  for (const Part& part : parts_) total += part.markers.size();
  if (total > params.size()) {
    return diag.Fail(ProviderRecord(kDbParamNotOptional, "07002",
                                    "No value given for one or more required parameters."));
  }
  if (total < params.size()) {
    return diag.Fail(ProviderRecord(kEInvalidArg, "07001",
                                    std::to_string(params.size()) +
                                        " parameter values were given for " +
                                        std::to_string(total) + " parameter markers."));
  }
  result_ = nullptr;
  int64_t changes = 0;
  size_t offset = 0;
  PGconn* conn = session_->conn();
  // The statement savepoint travels with the first query when that
  // query's results are read at once; a streamed one sets it beforehand.
  const bool pipelines =
      !parts_[0].name.empty() && (parts_.size() > 1 || parts_[0].columns.empty());
  if (!pipelines) {
    if (const HRESULT hr = session_->Guard(); hr < 0) return hr;
  }
  for (size_t k = 0; k < parts_.size(); ++k) {
    Part& part = parts_[k];
    const bool last = k + 1 == parts_.size();
    HRESULT hr = PreparePart(part, last, deadline);
    if (hr >= 0 && part.declarable) hr = PrepareDeclare(part, deadline);
    if (hr < 0) return hr;
    BindValues(part, params, offset);
    offset += part.markers.size();
    session_->Claim(last ? this : nullptr);
    own_transaction_ = PQtransactionStatus(conn) == PQTRANS_IDLE;
    if (part.declarable && !part.columns.empty()) {
      result_ = &part;
      cells_.assign(part.columns.size(), Cell{});
      scratch_.assign(part.columns.size(), std::string());
      hr = OpenCursor(part, deadline);
      if (hr < 0) return hr;
      break;
    }
    bool guarded = false;
    if (k == 0 && pipelines) {
      if (const HRESULT guard = session_->OpenGuard(&guarded); guard < 0) {
        session_->Release(this);
        return guard;
      }
    }
    if (PQsendQueryPrepared(conn, part.name.c_str(), static_cast<int>(values_.size()),
                            values_.data(), lengths_.data(), formats_.data(),
                            part.binary ? 1 : 0) == 0) {
      session_->Release(this);
      return session_->Fail(nullptr, part.sql);
    }
    if (guarded) {
      if (const HRESULT hr = session_->SealGuard(last); hr < 0) {
        session_->Release(this);
        return hr;
      }
    }
    if (last && !part.columns.empty()) {
      PQsetSingleRowMode(conn);
      streaming_ = true;
      result_ = &part;
      cells_.assign(part.columns.size(), Cell{});
      scratch_.assign(part.columns.size(), std::string());
      break;
    }
    Result failure;
    while (Result r = session_->Next(deadline)) {
      if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
        const char* tuples = PQcmdTuples(r.get());
        if (tuples[0] != '\0') changes += std::strtoll(tuples, nullptr, 10);
      } else if (Failed(r.get()) && !failure) {
        failure = std::move(r);
      }
      if (session_->dead()) break;
    }
    session_->EndPipeline();
    session_->Release(this);
    if (failure && k == 0) stale_ = StaleKind(failure.get());
    if (failure || session_->dead()) return session_->Fail(failure.get());
  }
  rows_affected_ = result_ != nullptr && changes == 0 ? -1 : changes;
  if (result_ == nullptr) return kSOk;
  return Fetch(deadline);
}

HRESULT PgStatement::Fetch(Deadline deadline) {
  has_row_ = false;
  if (row_ && ++row_index_ < block_rows_) {
    DecodeRow();
    has_row_ = true;
    return kSOk;
  }
  row_.reset();
  for (;;) {
    Result r;
    if (!ahead_.empty()) {
      r = std::move(ahead_.front());
      ahead_.pop_front();
    } else if (streaming_ && !cursor_) {
      r = session_->Next(deadline);
    } else if (streaming_ && !cursor_done_) {
      r = NextBlock(deadline);
    }
    if (!r) {
      Result failure = AwaitEnd();
      EndStream();
      return failure ? session_->Fail(failure.get()) : kSOk;
    }
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
      // A block (one row in single-row mode); an empty one ends the rows.
      if (PQntuples(r.get()) == 0) continue;
      row_ = std::move(r);
      row_index_ = 0;
      block_rows_ = PQntuples(row_.get());
      DecodeRow();
      has_row_ = true;
      return kSOk;
    }
    if (status == PGRES_COMMAND_OK) continue;
    // A failure mid-stream: the rest of the query's results go first.
    if (result_ == &parts_[0]) stale_ = StaleKind(r.get());  // read by Execute after Run
    const bool own_cursor = cursor_ && streaming_ && own_transaction_;
    if (streaming_ && !cursor_ && !session_->dead()) session_->Drain(deadline);
    ahead_.clear();
    EndStream();
    const HRESULT hr = session_->Fail(r.get());
    // Inside the host's transaction the failure went back to the statement
    // savepoint, which the cursor followed; its own transaction ends here.
    if (own_cursor) RollBackOwnTransaction();
    return hr;
  }
}

void PgStatement::DecodeRow() {
  const PGresult* row = row_.get();
  const Decode* decodes = result_->decodes.data();
  for (size_t c = 0; c < cells_.size(); ++c) {
    const int column = static_cast<int>(c);
    // libpq gives a null a length of 0: only an empty value needs asking.
    const int length = PQgetlength(row, row_index_, column);
    if (length == 0 && PQgetisnull(row, row_index_, column) != 0) {
      cells_[c] = Cell{};
    } else {
      DecodeValue(decodes[c], PQgetvalue(row, row_index_, column), length, &scratch_[c],
                  &cells_[c]);
    }
  }
}

HRESULT PgStatement::PrepareDeclare(Part& part, Deadline deadline) {
  if (!part.declare_name.empty() || part.columns.empty()) return kSOk;
  const std::string name = session_->NewStatementName();
  const std::string text =
      "DECLARE " + name + "_rows NO SCROLL CURSOR FOR " + Numbered(part.sql, part.markers);
  session_->Claim(nullptr);
  if (PQsendPrepare(session_->conn(), name.c_str(), text.c_str(),
                    static_cast<int>(part.param_types.size()), part.param_types.data()) == 0) {
    return session_->Fail(nullptr);
  }
  if (Result failure = session_->Drain(deadline)) {
    if (session_->dead()) return session_->Fail(failure.get());
    // A query a cursor cannot run: its rows are streamed instead.
    part.declarable = false;
    session_->Recover();
    return kSOk;
  }
  part.declare_name = name;
  return kSOk;
}

bool PgStatement::SendFetch(long rows) {
  PGconn* conn = session_->conn();
  const std::string sql =
      "FETCH " + (rows > 0 ? std::to_string(rows) : std::string("ALL")) + " FROM " + cursor_name_;
  return PQsendQueryParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr,
                           result_->binary ? 1 : 0) != 0 &&
         (PQpipelineStatus(conn) == PQ_PIPELINE_OFF || PQpipelineSync(conn) != 0);
}

HRESULT PgStatement::OpenCursor(Part& part, Deadline deadline) {
  PGconn* conn = session_->conn();
  cursor_name_ = part.declare_name + "_rows";
  cursor_done_ = false;
  asked_.clear();
  block_ = std::max(fetch_rows_, kBlockRows);
  blocks_before_waking_ = kBlocksBeforeWaking;
  // BEGIN (when needed), DECLARE and the first FETCH in one round trip; the
  // later FETCHes go through the same pipeline.
  if (PQenterPipelineMode(conn) == 0) {
    session_->Release(this);
    return session_->Fail(nullptr, part.sql);
  }
  bool sent = !own_transaction_ ||
              PQsendQueryParams(conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
  sent =
      sent && PQsendQueryPrepared(conn, part.declare_name.c_str(), static_cast<int>(values_.size()),
                                  values_.data(), lengths_.data(), formats_.data(), 0) != 0;
  sent = sent && SendFetch(block_);
  Result first = sent ? ReadToSync(deadline) : FailureOf(conn);
  if (PQresultStatus(first.get()) != PGRES_TUPLES_OK) {
    PQexitPipelineMode(conn);
    session_->Release(this);
    stale_ = StaleKind(first.get());
    const HRESULT hr = session_->Fail(first.get(), part.sql);
    if (own_transaction_) RollBackOwnTransaction();
    return hr;
  }
  streaming_ = true;
  cursor_ = true;
  // The prepared DECLARE follows its table; the description this
  // statement decodes by may not: the statement is described again.
  bool same = PQnfields(first.get()) == static_cast<int>(part.types.size());
  for (size_t c = 0; same && c < part.types.size(); ++c)
    same = PQftype(first.get(), static_cast<int>(c)) == part.types[c];
  if (!same) {
    stale_ = Stale::kChanged;
    SendEnd();
    AwaitEnd();
    EndStream();
    return session_->diagnostics().Fail(ProviderRecord(
        kEFail, kPlanChanged, "The columns of the result changed since it was prepared."));
  }
  AskAfter(first.get(), block_);
  ahead_.push_back(std::move(first));
  // When those were all the rows, its own transaction ends before the host
  // goes on: what the query changed (a function's writes) is committed, as
  // in autocommit.
  if (cursor_done_ && own_transaction_) {
    if (Result end_failure = AwaitEnd()) {
      ahead_.clear();
      EndStream();
      return session_->Fail(end_failure.get());
    }
  }
  return kSOk;
}

void PgStatement::AskAfter(const PGresult* block, long asked) {
  if (PQntuples(block) < asked) {
    SendEnd();
    return;
  }
  // The queue of FETCHes is topped up: the server makes the next blocks
  // while the host reads this one. (A FETCH that cannot be sent shows as a
  // failure in NextBlock.)
  long row_bytes = 1;
  row_wire_bytes_ = kRowHeader;
  for (int c = 0; c < PQnfields(block); ++c) {
    row_bytes += kValueOverhead + PQgetlength(block, 0, c);
    row_wire_bytes_ += kValueHeader + PQgetlength(block, 0, c);
  }
  block_ = std::max(block_, std::min(kMaxBlockRows, kBlockBytes / row_bytes));
  while (asked_.size() < kFetchesInFlight) {
    if (!SendFetch(block_)) return;
    asked_.push_back(block_);
  }
}

Result PgStatement::ReadOne(Deadline deadline) {
  Result first = session_->Next(deadline);
  if (!first) return FailureOf(session_->conn());
  while (!session_->dead()) {
    Result more = session_->Next(deadline);
    if (!more) break;
    if (Failed(more.get()) && !Failed(first.get())) first = std::move(more);
  }
  return first;
}

Result PgStatement::ReadToSync(Deadline deadline) {
  PGconn* conn = session_->conn();
  Result kept;
  bool after_null = false;
  while (!session_->dead()) {
    Result r = session_->Next(deadline);
    if (!r) {
      // Two nulls in a row, or one on a broken link: nothing more will come.
      if (after_null || PQstatus(conn) == CONNECTION_BAD) break;
      after_null = true;
      continue;
    }
    after_null = false;
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_PIPELINE_SYNC) break;
    // The first failure is what the part reports; else its block of rows.
    if (Failed(r.get())) {
      if (!kept || !Failed(kept.get())) kept = std::move(r);
    } else if (!kept && status == PGRES_TUPLES_OK) {
      kept = std::move(r);
    }
  }
  return kept ? std::move(kept) : FailureOf(conn);
}

bool PgStatement::DropFetches() {
  if (!session_->dead()) {
    for (; !asked_.empty(); asked_.pop_front()) ReadToSync(NoDeadline());
  }
  asked_.clear();
  return PQexitPipelineMode(session_->conn()) != 0;
}

Result PgStatement::NextBlock(Deadline deadline) {
  if (asked_.empty()) return FailureOf(session_->conn());  // the FETCH could not be sent
  const long asked = asked_.front();
  asked_.pop_front();
  // With further FETCHes queued the rows go on past this block (unless it
  // is the last), so once the read has proved long the wait need not wake
  // for every packet of it. Rows much shorter than the first one of the
  // previous block could make that wait outlast the queue: after one such
  // wait the rest wake at once.
  const long beyond = static_cast<long>(asked_.size()) * block_ * row_wire_bytes_;
  const bool patient = blocks_before_waking_ == 0;
  if (blocks_before_waking_ > 0) --blocks_before_waking_;
  session_->WakeAfter(patient ? std::min(kWakeBytes, beyond / 2) : 1);
  Result block = ReadToSync(deadline);
  if (session_->WakeAfter(1)) blocks_before_waking_ = -1;
  if (PQresultStatus(block.get()) == PGRES_TUPLES_OK) AskAfter(block.get(), asked);
  return block;
}

void PgStatement::SendEnd() {
  if (cursor_done_) return;
  cursor_done_ = true;
  if (!DropFetches() || session_->dead()) return;
  // COMMIT also closes the cursor; in a failed transaction it rolls back.
  const std::string sql = own_transaction_ ? "COMMIT" : "CLOSE " + cursor_name_;
  end_sent_ = PQsendQuery(session_->conn(), sql.c_str()) != 0;
}

Result PgStatement::AwaitEnd() {
  if (!end_sent_) return nullptr;
  end_sent_ = false;
  return session_->Drain(NoDeadline());
}

void PgStatement::RollBackOwnTransaction() {
  if (!session_->dead() && PQtransactionStatus(session_->conn()) != PQTRANS_IDLE)
    PQclear(PQexec(session_->conn(), "ROLLBACK"));
}

void PgStatement::EndStream() {
  if (cursor_) DropFetches();
  AwaitEnd();
  if (streaming_) session_->Release(this);
  streaming_ = false;
  cursor_ = false;
  cursor_done_ = false;
}

HRESULT PgStatement::Next(Deadline deadline) {
  if (!has_row_ || result_ == nullptr) return kSOk;
  return Fetch(deadline);
}

void PgStatement::Detach() {
  // The session is being taken by another query: this statement's rows
  // are read into memory (the session already counts this one as gone).
  if (cursor_ && streaming_) {
    if (!cursor_done_) {
      // The blocks in flight, then every row left.
      bool more = !asked_.empty();
      if (!more) ahead_.push_back(FailureOf(session_->conn()));  // the FETCH could not be sent
      for (; !asked_.empty(); asked_.pop_front()) {
        Result block = ReadToSync(NoDeadline());
        more = more && PQresultStatus(block.get()) == PGRES_TUPLES_OK &&
               PQntuples(block.get()) == asked_.front();
        ahead_.push_back(std::move(block));
      }
      if (more) {
        const bool sent = DropFetches() && SendFetch(0);
        ahead_.push_back(sent ? ReadOne(NoDeadline()) : FailureOf(session_->conn()));
      }
      SendEnd();
    }
    // A failure of the end shows in the next statement (the link lost).
    EndStream();
    return;
  }
  while (streaming_) {
    Result r = session_->Next(NoDeadline());
    if (!r) break;
    ahead_.push_back(std::move(r));
    if (session_->dead()) break;
  }
  streaming_ = false;
}

void PgStatement::Reset() {
  if (streaming_) {
    // libpq runs one query at a time: the rest of the rows are read and
    // dropped. A statement outside a transaction block is cancelled first,
    // so that the server stops sending them; inside one the cancel would
    // end the host's transaction. (The server ignores a cancel that comes
    // after the statement ended.)
    if (!session_->dead() && cursor_) {
      // The blocks asked for are read and dropped (cancelled first when the
      // cursor has a transaction of its own); the cursor ends with its
      // transaction or is closed.
      if (!asked_.empty() && own_transaction_) session_->Cancel();
      SendEnd();
      AwaitEnd();
    } else if (!session_->dead()) {
      if (own_transaction_) session_->Cancel();
      session_->Drain(NoDeadline());
    }
    EndStream();
  }
  ahead_.clear();
  row_.reset();
  has_row_ = false;
}

}  // namespace korvo::ado::provider::postgresql
