#include "console/retention/retention_choice.h"

#include <cwchar>

#include <algorithm>

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool Newer(const DumpCandidate* a, const DumpCandidate* b) {
    return a->written != b->written ? a->written > b->written : a->name > b->name;
}

}  // namespace

std::vector<std::wstring> DumpsToDelete(const std::vector<DumpCandidate>& candidates,
                                        const std::wstring& justWritten, uint32_t keep) {
    if (keep == 0) {
        return {};
    }
    std::vector<const DumpCandidate*> others;
    const uint32_t kept = 1;  // the one just written
    for (const DumpCandidate& candidate : candidates) {
        if (candidate.ours && !SameName(candidate.name, justWritten)) {
            others.push_back(&candidate);
        }
    }
    std::sort(others.begin(), others.end(), Newer);
    std::vector<std::wstring> deleted;
    for (auto old = others.rbegin(); old != others.rend(); ++old) {
        if (others.size() - deleted.size() + kept <= keep) {
            break;
        }
        deleted.push_back((*old)->name);
    }
    return deleted;
}
