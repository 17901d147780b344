#include "UniqueHandle.h"

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.m_h, nullptr));
    return *this;
}

void UniqueHandle::reset(HANDLE h) noexcept {
    if (valid() && m_h != h) CloseHandle(m_h);
    m_h = h;
}
