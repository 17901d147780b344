#include "CRunContext.h"
#include "ThreadPointer.h"

namespace {

ThreadPointer<CRunContext> g_innermost;

}  // namespace

CRunContext::CRunContext(bool quiet) noexcept : m_quiet(quiet), m_outer(g_innermost.get()) { g_innermost.set(this); }

CRunContext::~CRunContext() { g_innermost.set(m_outer); }

CRunContext* CRunContext::Current() noexcept { return g_innermost.get(); }
