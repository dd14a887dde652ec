// CString: a zero-terminated character string with MFC's buffer access and string-resource
// loading.
#include <algorithm>
#include <cstring>

#include "afx/afxwin.h"

CString::CString() {
    Assign("", 0);
}

CString::CString(const char* text) {
    Assign(text ? text : "", text ? std::strlen(text) : 0);
}

CString::CString(const CString& other) {
    Assign(other, static_cast<std::size_t>(other.m_length));
}

CString& CString::operator=(const CString& other) {
    if (this != &other) Assign(other, static_cast<std::size_t>(other.m_length));
    return *this;
}

CString& CString::operator=(const char* text) {
    // text may point into this string's own buffer: copy it out first.
    const std::string copy = text ? text : "";
    Assign(copy.c_str(), copy.size());
    return *this;
}

CString::~CString() = default;

void CString::Assign(const char* text, std::size_t length) {
    std::vector<char> buffer(text, text + length);
    buffer.push_back('\0');
    m_buffer.swap(buffer);
    m_length = static_cast<int>(length);
}

BOOL CString::LoadString(UINT nID) {
    const HINSTANCE module = AfxFindResourceHandle(nID, ResourceType::kString);
    if (module != nullptr) {
        for (std::size_t i = 0; i < module->stringCount; ++i) {
            if (module->strings[i].id == nID) {
                *this = module->strings[i].text;
                return TRUE;
            }
        }
    }
    *this = "";
    return FALSE;
}

LPTSTR CString::GetBuffer(int nMinBufLength) {
    const auto wanted = static_cast<std::size_t>(nMinBufLength < 0 ? 0 : nMinBufLength) + 1;
    if (m_buffer.size() < wanted) m_buffer.resize(wanted, '\0');
    return m_buffer.data();
}

// A length beyond the buffer, or a buffer left without its terminator, ends at the buffer.
void CString::ReleaseBuffer(int nNewLength) {
    const std::size_t capacity = m_buffer.size() - 1;  // the last byte is for the terminator
    const std::size_t length = nNewLength < 0
                                   ? strnlen(m_buffer.data(), capacity)
                                   : std::min(static_cast<std::size_t>(nNewLength), capacity);
    const std::string copy(m_buffer.data(), length);
    Assign(copy.c_str(), copy.size());
}

bool operator==(const CString& a, const char* b) {
    return std::strcmp(a, b) == 0;
}
