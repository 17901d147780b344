#include "ArgumentArray.h"

UniqueVariant ArgumentArray(const std::vector<std::wstring>& items) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        UniqueVariant item(items[i]);
        SafeArrayPutElement(array, &i, const_cast<VARIANT*>(&item.get()));
    }
    UniqueVariant args;
    VARIANT* raw = args.put();
    V_VT(raw) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(raw) = array;
    return args;
}
