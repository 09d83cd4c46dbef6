#include "deskcommon/DocView.h"

namespace deskcommon {

std::string CDocument::GetTitle() const {
    if (m_path.empty())
        return DefaultTitle();
    size_t slash = m_path.find_last_of('/');
    return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

}  // namespace deskcommon
