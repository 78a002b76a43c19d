// Tests of the database exceptions and of the one conversion of failures
// into them.
#include <gtest/gtest.h>
#include <korvo/com/error_info.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CDBExceptionW.h>
#include <korvo/diag/com_failure_internal.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/db_exception.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace {

using korvo::diag::ConvertComFailures;
using korvo::diag::ErrorSite;
using korvo::test::CatchDB;

std::string Text(const CTString& s) { return static_cast<const char*>(s); }
std::string Text(const CTWString& s) { return Text(CTString(static_cast<const WCHAR*>(s))); }

// The narrow and the wide exception keep their members alike.
template <class E>
void ExpectConstructionCopyEmptyAndDelete() {
  E byDefault;
  EXPECT_EQ(byDefault.m_nReturnCode, 0);
  EXPECT_EQ(byDefault.m_dwNativeError, 0u);
  EXPECT_TRUE(byDefault.m_strErrorText.IsEmpty());
  EXPECT_TRUE(byDefault.m_strErrorOrigin.IsEmpty());
  E code(static_cast<SHORT>(1026));
  EXPECT_EQ(code.m_nReturnCode, 1026);
  EXPECT_EQ(code.m_dwNativeError, 0u);
  E native(static_cast<DWORD>(8));
  EXPECT_EQ(native.m_nReturnCode, 0);
  EXPECT_EQ(native.m_dwNativeError, 8u);

  E* e = new E(static_cast<SHORT>(1000));
  e->m_dwNativeError = 23000;
  e->m_strErrorText = "UNIQUE constraint failed: \xC3\xBC";
  e->m_strErrorOrigin = "[6007]";
  E copy(*e);
  E assigned;
  assigned = *e;
  e->Empty();
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_EQ(e->m_dwNativeError, 23000u);
  EXPECT_TRUE(e->m_strErrorText.IsEmpty());
  EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  e->Delete();
  // The copies are independent of the emptied, deleted original.
  for (const E* c : {&copy, &assigned}) {
    EXPECT_EQ(c->m_nReturnCode, 1000);
    EXPECT_EQ(c->m_dwNativeError, 23000u);
    EXPECT_EQ(Text(c->m_strErrorText), "UNIQUE constraint failed: \xC3\xBC");
    EXPECT_EQ(Text(c->m_strErrorOrigin), "[6007]");
  }
  assigned = assigned;  // self-assignment keeps the texts
  EXPECT_EQ(Text(assigned.m_strErrorOrigin), "[6007]");
  E::Delete(nullptr);  // does nothing
}

TEST(DBException, ConstructionCopyEmptyAndDelete) {
  ExpectConstructionCopyEmptyAndDelete<CDBException>();
}

TEST(DBExceptionW, ConstructionCopyEmptyAndDelete) {
  ExpectConstructionCopyEmptyAndDelete<CDBExceptionW>();
  // Built from a caught narrow exception, as a caller does.
  CDBException narrow(static_cast<SHORT>(1000));
  narrow.m_strErrorText = "zu groß";
  CDBExceptionW wide(narrow.m_nReturnCode);
  wide.m_strErrorText = CTWString(static_cast<const char*>(narrow.m_strErrorText));
  EXPECT_EQ(korvo::test::U16(wide.m_strErrorText), u"zu groß");
}

// A handler that catches whatever was thrown and releases it with the
// member form, as host code does. The pointer comes out of a real throw,
// so the optimiser cannot know it is null. The call through a null pointer
// is what the contract allows; the sanitizer's null-call check is off for
// this one function so that the library's own handling is what is tested.
template <class E>
__attribute__((noinline, no_sanitize("null"))) bool CatchAndDelete(E* thrown) {
  try {
    throw thrown;
  } catch (E* e) {
    e->Delete();
    return true;
  }
}

TEST(DBException, MemberDeleteThroughANullPointerDoesNothing) {
  // Built with optimisation (the default build type): a null test on
  // `this` that the compiler removed would crash here.
  EXPECT_TRUE(CatchAndDelete<CDBException>(nullptr));
  EXPECT_TRUE(CatchAndDelete<CDBExceptionW>(nullptr));
  // A real object still goes (LeakSanitizer checks).
  EXPECT_TRUE(CatchAndDelete(new CDBException(static_cast<SHORT>(1000))));
  EXPECT_TRUE(CatchAndDelete(new CDBExceptionW(static_cast<SHORT>(1000))));
}

TEST(DBException, LibraryAndSystemErrors) {
  for (SHORT code : {1001, 1003, 1026, 1030}) {
    auto e = CatchDB([code] { korvo::diag::ThrowLibraryError(code); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, code);
    EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library");
    EXPECT_EQ(e->m_dwNativeError, 0u);
    EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  }
  for (SHORT code : {1000, 1031, 0}) {
    auto e = CatchDB([code] { korvo::diag::ThrowLibraryError(code); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, code);
    EXPECT_TRUE(e->m_strErrorText.IsEmpty()) << code;
    EXPECT_EQ(e->m_dwNativeError, 0u);
  }
  auto e = CatchDB([] { korvo::diag::ThrowSystemError(8); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 0);
  EXPECT_EQ(e->m_dwNativeError, 8u);
  EXPECT_TRUE(e->m_strErrorText.IsEmpty());
}

// Raises a _com_error carrying `description`, as a failing ADO call does.
[[noreturn]] void RaiseCom(HRESULT hr, const char16_t* description) {
  if (description) korvo::com::ReportError(hr, description);
  _com_issue_errorex(hr, nullptr, GUID_NULL);
}

TEST(ComFailureConversion, ConvertsComErrorsAndPassesOthersOnWithTheirTag) {
  korvo::test::TempDir dir;
  const auto registry = korvo::test::TraceInto(dir.path());
  CKorvoTrace trace;
  const ErrorSite site{"[6001]", "DbException2"};

  // A COM failure: code 1000, description as text (and traced), origin.
  auto e = CatchDB(
      [&] { ConvertComFailures(trace, site, [] { RaiseCom(E_FAIL, u"the provider said no"); }); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_EQ(e->m_dwNativeError, 0u);
  EXPECT_STREQ(e->m_strErrorText, "the provider said no");
  EXPECT_STREQ(e->m_strErrorOrigin, "[6001]");

  // No error information: an empty text.
  auto bare =
      CatchDB([&] { ConvertComFailures(trace, site, [] { _com_issue_error(E_POINTER); }); });
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->m_strErrorText.IsEmpty());

  // The 23000 rule, from the provider's code or from the error's own.
  for (HRESULT hr : {DB_E_ERRORSINCOMMAND, DB_E_INTEGRITYVIOLATION, DB_E_NOTABLE}) {
    auto fromProvider = CatchDB([&] {
      ConvertComFailures(
          trace, site, [] { RaiseCom(E_FAIL, u"x"); },
          [hr](const _com_error&) -> HRESULT { return hr; });
    });
    ASSERT_TRUE(fromProvider);
    EXPECT_EQ(fromProvider->m_dwNativeError, hr == DB_E_NOTABLE ? 0u : 23000u);
    auto fromError = CatchDB([&] {
      ConvertComFailures(
          trace, site, [hr] { RaiseCom(hr, u"x"); }, korvo::diag::NativeErrorFromComError());
    });
    ASSERT_TRUE(fromError);
    EXPECT_EQ(fromError->m_dwNativeError, hr == DB_E_NOTABLE ? 0u : 23000u);
  }
  // A provider-code lookup that itself fails counts as 0.
  auto lookupFails = CatchDB([&] {
    ConvertComFailures(
        trace, site, [] { RaiseCom(DB_E_ERRORSINCOMMAND, u"x"); },
        [](const _com_error&) -> HRESULT { _com_issue_error(E_POINTER); });
  });
  ASSERT_TRUE(lookupFails);
  EXPECT_EQ(lookupFails->m_dwNativeError, 0u);

  // Another exception passes unchanged, traced by tag.
  CDBException* nested = new CDBException(static_cast<SHORT>(1000));
  nested->m_strErrorOrigin = "[6004]";
  auto passed = CatchDB([&] { ConvertComFailures(trace, site, [nested] { throw nested; }); });
  EXPECT_EQ(passed.get(), nested);
  EXPECT_THROW(ConvertComFailures(trace, site, [] { throw std::runtime_error("other"); }),
               std::runtime_error);
  // A site without a tag traces nothing for it.
  EXPECT_THROW(ConvertComFailures(trace, ErrorSite{"[6000]", nullptr},
                                  [] { throw std::runtime_error("other"); }),
               std::runtime_error);
  // Results pass through.
  EXPECT_EQ(ConvertComFailures(trace, site, [] { return 42; }), 42);

  std::vector<std::string> texts = korvo::test::TraceTexts(
      korvo::test::ReadFile(korvo::test::TraceFileOf(dir.path(), getpid())));
  // Two texts for each code of the 23000 loop, one for the failed lookup,
  // then the tag for each exception passed on with a tag.
  EXPECT_EQ(texts, (std::vector<std::string>{"the provider said no", "", "x", "x", "x", "x", "x",
                                             "x", "x", "DbException2", "DbException2"}));
}

}  // namespace
