#include "support/ComPtr.h"
#include <gtest/gtest.h>

namespace {

// A counted object that records its reference count, in the manner of Wine's own COM tests.
struct Counted : IUnknown {
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComPtr, OwnershipRules) {
    Counted obj;
    {
        ComPtr<IUnknown> a(&obj);
        EXPECT_EQ(obj.refs, 2);
        ComPtr<IUnknown> b = a;  // copy adds a reference
        EXPECT_EQ(obj.refs, 3);
        ComPtr<IUnknown> c = std::move(b);  // move steals it
        EXPECT_EQ(obj.refs, 3);
        EXPECT_FALSE(b);
        c.put();  // put() releases before handing out the slot
        EXPECT_EQ(obj.refs, 2);
    }
    EXPECT_EQ(obj.refs, 1);

    {
        obj.AddRef();
        ComPtr<IUnknown> d;
        d.attach(&obj);  // adopts without AddRef
        EXPECT_EQ(obj.refs, 2);
    }
    EXPECT_EQ(obj.refs, 1);
}

}  // namespace
