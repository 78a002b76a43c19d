// Per-thread error information and _com_error.
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/com/com_error.h>
#include <korvo/com/error_info.h>

#include <thread>

#include "support/test_support.h"
#include "test_objects.h"

using korvo::test::Caught;
using korvo::test::U16;

TEST(ErrorInfo, RecordIsPerThreadAndHandedOverOnce) {
  EXPECT_EQ(korvo::com::ReportError(E_FAIL, u"disk on fire", u"Korvo.Test"), E_FAIL);

  // Another thread sees nothing of it.
  HRESULT otherThread = S_OK;
  std::thread([&] {
    IErrorInfo* info = reinterpret_cast<IErrorInfo*>(0x1);
    otherThread = GetErrorInfo(0, &info);
    if (info != nullptr) info->Release();
  }).join();
  EXPECT_EQ(otherThread, S_FALSE);

  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  BSTR text = nullptr;
  ASSERT_EQ(info->GetDescription(&text), S_OK);
  EXPECT_EQ(U16(text), u"disk on fire");
  SysFreeString(text);
  ASSERT_EQ(info->GetSource(&text), S_OK);
  EXPECT_EQ(U16(text), u"Korvo.Test");
  SysFreeString(text);
  ASSERT_EQ(info->GetHelpFile(&text), S_OK);
  EXPECT_EQ(text, nullptr);  // never set
  info->Release();

  IErrorInfo* again = reinterpret_cast<IErrorInfo*>(0x1);
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);  // taken by the first call
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_POINTER);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, ClearingFindsTheThreadsRecordWhateverOtherThreadsDid) {
  // Records set, taken, replaced and left at exit on another thread do not
  // hide this thread's record from ClearErrorInfo.
  korvo::com::ReportError(E_FAIL, u"mine");
  std::thread([] {
    korvo::com::ReportError(E_FAIL, u"taken");
    IErrorInfo* taken = nullptr;
    if (GetErrorInfo(0, &taken) == S_OK) taken->Release();
    korvo::com::ClearErrorInfo();  // none left to clear
    korvo::com::ReportError(E_FAIL, u"replaced");
    korvo::com::ReportError(E_FAIL, u"left at exit");
  }).join();
  korvo::com::ClearErrorInfo();
  IErrorInfo* info = reinterpret_cast<IErrorInfo*>(0x1);
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
}

TEST(ErrorInfo, RecordEndsWithTheThreadOrItsLastCoUninitialize) {
  // A thread that leaves a record behind releases it when it ends
  // (LeakSanitizer would report the record otherwise).
  std::thread([] { korvo::com::ReportError(E_FAIL, u"left behind"); }).join();

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  korvo::com::ReportError(E_FAIL, u"kept while nested");
  CoUninitialize();  // still initialised once: the record stays
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  SetErrorInfo(0, info);
  info->Release();
  CoUninitialize();  // the last one drops it
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST(ErrorInfo, CreateErrorInfoAndNarrowReports) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(u"first"));
  create->SetDescription(const_cast<LPOLESTR>(u"second"));
  create->SetHelpContext(42);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(&info), S_OK);
  create->Release();
  ASSERT_EQ(SetErrorInfo(0, info), S_OK);
  info->Release();  // the thread slot keeps its own reference

  _com_error error(E_UNEXPECTED);
  EXPECT_EQ(error.Description().length(), 0u);  // a bare error carries no record
  auto e = Caught([] { _com_issue_errorex(DB_E_ERRORSINCOMMAND, nullptr, IID_IUnknown); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Error(), DB_E_ERRORSINCOMMAND);
  EXPECT_STREQ(static_cast<const char*>(e->Description()), "second");
  EXPECT_EQ(e->HelpContext(), 42u);
  EXPECT_EQ(e->Source().length(), 0u);

  korvo::com::ReportErrorA(E_FAIL, "narrow d\xC3\xA9tail", nullptr);
  e = Caught([] { korvo::com::ThrowIfFailed(E_FAIL); });
  ASSERT_TRUE(e);
  EXPECT_EQ(U16(static_cast<const WCHAR*>(e->Description())), u"narrow d\u00E9tail");
  EXPECT_EQ(static_cast<const WCHAR*>(e->Source()), nullptr);
  EXPECT_EQ(korvo::com::ThrowIfFailed(S_FALSE), S_FALSE);

  // A cleared record is not reported with a later failure.
  korvo::com::ReportError(E_FAIL, u"stale");
  korvo::com::ClearErrorInfo();
  e = Caught([] { _com_issue_errorex(E_FAIL, nullptr, IID_IUnknown); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->ErrorInfo(), nullptr);
  EXPECT_EQ(e->Description().length(), 0u);
}

TEST(ComError, CopiesShareTheRecordAndMessagesAreReadable) {
  korvo::com::ReportError(E_FAIL, u"shared");
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  _com_error* original = new _com_error(E_FAIL, info);  // takes the reference
  _com_error copy(*original);
  delete original;
  EXPECT_STREQ(static_cast<const char*>(copy.Description()), "shared");
  _com_error assigned(S_OK);
  assigned = copy;
  assigned = assigned;
  EXPECT_STREQ(static_cast<const char*>(assigned.Description()), "shared");
  IErrorInfo* fromError = assigned.ErrorInfo();
  EXPECT_EQ(fromError, info);
  fromError->Release();

  EXPECT_STREQ(_com_error(E_POINTER).ErrorMessage(), "Invalid pointer");
  EXPECT_STREQ(_com_error(CO_E_NOTINITIALIZED).ErrorMessage(), "CoInitialize has not been called.");
  EXPECT_STREQ(_com_error(DISP_E_TYPEMISMATCH).ErrorMessage(), "Type mismatch.");
  EXPECT_STREQ(_com_error(KORVO_HR(0x80040203)).ErrorMessage(), "IDispatch error #3");
  EXPECT_STREQ(_com_error(KORVO_HR(0x80001234)).ErrorMessage(), "Unknown error 0x80001234");
  EXPECT_EQ(_com_error(KORVO_HR(0x80040203)).WCode(), 3);
  EXPECT_EQ(_com_error(E_FAIL).WCode(), 0);
  EXPECT_EQ(_com_error::WCodeToHRESULT(3), KORVO_HR(0x80040203));
  const auto raised = Caught([] { _com_issue_error(E_OUTOFMEMORY); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->Error(), E_OUTOFMEMORY);
  EXPECT_EQ(raised->ErrorInfo(), nullptr);
}
