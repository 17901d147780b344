#include "RunFixture.h"
#include "ArgumentArray.h"
#include "LogReader.h"
#include "WaitLimit.h"
#include "component/CCAI_Call.h"

RunFixture::RunFixture() {
    client.attach(FakeCallback::Create());
    client->environment[L"_VNTXVER"] = L"530";
    client->answers[L"#(Appl:LogLevel)"] = L"1";
    EXPECT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void()), S_OK);
}

HRESULT RunFixture::Run(const std::vector<std::wstring>& items, LONG& result, IUnknown* callback) {
    UniqueVariant args = ArgumentArray(items);
    UniqueVariant out;
    const HRESULT hr = [&] {
        const WaitLimit bound(RunOf(items));
        return object->Run(callback ? callback : client.get(), args.get(), out.put());
    }();
    EXPECT_EQ(V_VT(&out.get()), VT_I4);
    result = V_I4(&out.get());
    return hr;
}

std::vector<std::wstring> RunFixture::Messages() const { return LogReader().Messages(); }
