#include "ClientParts.h"
#include "support/UniqueBstr.h"
#include "support/UniqueVariant.h"
#include <gtest/gtest.h>

namespace {

class CallbackTest : public testing::Test, protected ClientParts {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_NO_FATAL_FAILURE(LoadSample(root));
        ASSERT_NO_FATAL_FAILURE(CreateCallback());
    }
    void TearDown() override {
        ReleaseCallback();
        CoUninitialize();
    }

    std::wstring Prepare(const std::wstring& expression) {
        UniqueBstr in(expression), answer;
        EXPECT_EQ(callback->Prepare(in.get(), answer.put()), S_OK);
        return answer.str();
    }

    TempFolder root;
};

TEST_F(CallbackTest, PrepareAnswersAndFailuresBeginWithBang) {
    EXPECT_EQ(Prepare(L"#(Appl:Profile)"), L"Standard");
    EXPECT_EQ(Prepare(L"#(Appl:NoSuch)").substr(0, 1), L"!");
    UniqueBstr answer;
    EXPECT_EQ(callback->Prepare(nullptr, answer.put()), S_OK) << "a null expression is the empty text";
    EXPECT_EQ(answer.str(), L"");
    EXPECT_EQ(callback->Prepare(nullptr, nullptr), E_POINTER);
}

TEST_F(CallbackTest, CallRunsClientCommandsThatLaterPreparesSee) {
    UniqueBstr command(L"___Environment"), arguments(L"RETVECTAProfile=Standard");
    LONG result = -1;
    EXPECT_EQ(callback->Call(command.get(), arguments.get(), nullptr, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Prepare(L"$(RETVECTAProfile)"), L"Standard");

    UniqueBstr unknown(L"___Nothing");
    EXPECT_EQ(callback->Call(unknown.get(), nullptr, nullptr, &result), E_NOTIMPL);
    EXPECT_EQ(callback->Call(command.get(), arguments.get(), nullptr, nullptr), E_POINTER);
}

TEST_F(CallbackTest, GetMessageTextFailsForUnknownKeys) {
    UniqueBstr key(L"VX16003"), text;
    EXPECT_EQ(callback->GetMessageText(key.get(), text.put()), S_OK);
    EXPECT_EQ(text.str(), L"Fennory - #(Appl:Profile)") << "the raw text; the integration expands it itself";
    UniqueBstr unknown(L"VX99999");
    EXPECT_TRUE(FAILED(callback->GetMessageText(unknown.get(), text.put())));
    EXPECT_EQ(text.get(), nullptr);
}

TEST_F(CallbackTest, UnusedOperationsSayNotImplemented) {
    UniqueBstr text;
    EXPECT_EQ(callback->GetClientInfo(0, text.put()), E_NOTIMPL);
    EXPECT_EQ(callback->SetStatusText(nullptr), E_NOTIMPL);
    EXPECT_EQ(callback->ShowProgress(50), E_NOTIMPL);
}

TEST_F(CallbackTest, IdentityAndReferenceCounting) {
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(callback.query(dispatch), S_OK);
    EXPECT_EQ(callback.query(unknown), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(callback.get()));
    ComPtr<IStream> stream;
    EXPECT_EQ(callback.query(stream), E_NOINTERFACE);
    callback->AddRef();
    EXPECT_EQ(callback->Release(), 3u) << "callback, dispatch and unknown hold one each";
}

TEST_F(CallbackTest, DispatchByNameThroughTheTypeLibrary) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(callback.query(dispatch), S_OK);
    UINT count = 0;
    ASSERT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    ASSERT_EQ(count, 1u) << "cai_dll.tlb is beside the test program";
    LPOLESTR name = const_cast<LPOLESTR>(L"Prepare");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);

    UniqueBstr answer;
    VARIANT args[2];  // reversed: the out string, then the expression
    UniqueVariant expression(std::wstring(L"#(QELKEY)"));
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&args[0]) = answer.put();
    args[1] = expression.get();
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(answer.str(), L"1002");
}

}  // namespace
