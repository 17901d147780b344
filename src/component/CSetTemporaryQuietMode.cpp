#include "CSetTemporaryQuietMode.h"
#include "support/CRunContext.h"

CSetTemporaryQuietMode::CSetTemporaryQuietMode() noexcept : m_run(CRunContext::Current()) {
    if (m_run) m_saved = m_run->SetQuiet(true);
}

CSetTemporaryQuietMode::~CSetTemporaryQuietMode() {
    if (m_run) m_run->SetQuiet(m_saved);
}
