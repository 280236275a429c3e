// The error record: its texts, its one-line description and its cause.
#include "CErrorObject.h"
#include "CollectionTestSupport.h"

#include <climits>

namespace {

using ErrorObjectTest = CollectionTest;

ComPtr<IErrorObject> newError() {
  return CollectionTest::create<IErrorObject>(CLSID_ErrorObject, IID_IErrorObject);
}

TEST_F(ErrorObjectTest, DescribesKindCodeAndText) {
  struct Case {
    const wchar_t* kind;  // null: never set
    LONG ecode;
    const wchar_t* etext;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"Network", 5, L"timeout", L"N5#5 timeout"},
      {L"", -1, L"bad", L"E-1#FFFFFFFF bad"},
      {nullptr, 0, nullptr, L"E0#0 "},
      {L"x", 255, L"", L"x255#FF "},
      {L"kind", LONG_MIN, L"t", L"k-2147483648#80000000 t"},
      {L"kind", LONG_MAX, L"t", L"k2147483647#7FFFFFFF t"},
      {L"\u00e9t\u00e9", 16, L"\u00fcber", L"\u00e916#10 \u00fcber"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Bstr(c.expected).toUtf8());
    ComPtr<IErrorObject> error = newError();
    if (c.kind) {
      ASSERT_EQ(error->put_kind(Bstr(c.kind).get()), S_OK);
    }
    ASSERT_EQ(error->put_ecode(c.ecode), S_OK);
    if (c.etext) {
      ASSERT_EQ(error->put_etext(Bstr(c.etext).get()), S_OK);
    }
    Bstr desc;
    ASSERT_EQ(error->get_Desc(desc.put()), S_OK);
    EXPECT_EQ(desc, std::wstring_view(c.expected));
  }
}

TEST_F(ErrorObjectTest, EmptyTextsReadAsNull) {
  ComPtr<IErrorObject> error = newError();
  using Get = HRESULT (STDMETHODCALLTYPE IErrorObject::*)(BSTR*);
  using Put = HRESULT (STDMETHODCALLTYPE IErrorObject::*)(BSTR);
  struct Member {
    const char* name;
    Get get;
    Put put;
  };
  const Member members[] = {{"kind", &IErrorObject::get_kind, &IErrorObject::put_kind},
                            {"etext", &IErrorObject::get_etext, &IErrorObject::put_etext}};
  for (const Member& m : members) {
    SCOPED_TRACE(m.name);
    Bstr text(L"stale");
    ASSERT_EQ((error.get()->*m.get)(text.put()), S_OK);
    EXPECT_TRUE(text.isNull());
    ASSERT_EQ((error.get()->*m.put)(Bstr(L"set").get()), S_OK);
    ASSERT_EQ((error.get()->*m.get)(text.put()), S_OK);
    EXPECT_EQ(text, std::wstring_view(L"set"));
    ASSERT_EQ((error.get()->*m.put)(Bstr(L"").get()), S_OK);
    ASSERT_EQ((error.get()->*m.get)(text.put()), S_OK);
    EXPECT_TRUE(text.isNull());
    ASSERT_EQ((error.get()->*m.put)(Bstr(L"again").get()), S_OK);
    ASSERT_EQ((error.get()->*m.put)(nullptr), S_OK);
    ASSERT_EQ((error.get()->*m.get)(text.put()), S_OK);
    EXPECT_TRUE(text.isNull());
    EXPECT_EQ((error.get()->*m.get)(nullptr), E_POINTER);
  }
  LONG code = 1;
  EXPECT_EQ(error->get_ecode(&code), S_OK);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(error->get_ecode(nullptr), E_POINTER);
  EXPECT_EQ(error->get_Desc(nullptr), E_POINTER);
}

TEST_F(ErrorObjectTest, CauseIsHeldAndHandedOutWithAReference) {
  ComPtr<IErrorObject> error = newError();
  ComPtr<IErrorObject> cause = newError();
  ASSERT_EQ(cause->put_kind(Bstr(L"Io").get()), S_OK);
  ComPtr<IErrorObject> got;
  ASSERT_EQ(error->get_cause(got.put()), S_OK);
  EXPECT_FALSE(got);

  ASSERT_EQ(error->put_cause(cause.get()), S_OK);
  EXPECT_EQ(refCount(cause.get()), 2u);
  ASSERT_EQ(error->get_cause(got.put()), S_OK);
  EXPECT_EQ(got.get(), cause.get());
  EXPECT_EQ(refCount(cause.get()), 3u);
  got.reset();

  // The cause does not take part in the description.
  Bstr desc;
  ASSERT_EQ(error->get_Desc(desc.put()), S_OK);
  EXPECT_EQ(desc, std::wstring_view(L"E0#0 "));

  ASSERT_EQ(error->put_cause(nullptr), S_OK);
  EXPECT_EQ(refCount(cause.get()), 1u);
  EXPECT_EQ(error->get_cause(nullptr), E_POINTER);
}

}  // namespace
