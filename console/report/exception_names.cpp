#include "console/report/error_report.h"

namespace {

// Codes 0xC0000006 to 0xC00000FD, indexed by code minus 0xC0000006.
constexpr uint32_t kDenseFirst = 0xC0000006;
constexpr uint32_t kDenseLast = 0xC00000FD;

struct NamedCode {
    uint32_t code;
    const wchar_t* name;
};

// clang-format off
constexpr NamedCode kDenseNames[] = {
    {0xC0000006, L"IN_PAGE_ERROR"},
    {0xC0000008, L"INVALID_HANDLE"},
    {0xC000001D, L"ILLEGAL_INSTRUCTION"},
    {0xC0000025, L"NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, L"INVALID_DISPOSITION"},
    {0xC000008C, L"ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, L"FLOAT_DENORMAL_OPERAND"},
    {0xC000008E, L"FLOAT_DIVIDE_BY_ZERO"},
    {0xC000008F, L"FLOAT_INEXACT_RESULT"},
    {0xC0000090, L"FLOAT_INVALID_OPERATION"},
    {0xC0000091, L"FLOAT_OVERFLOW"},
    {0xC0000092, L"FLOAT_STACK_CHECK"},
    {0xC0000093, L"FLOAT_UNDERFLOW"},
    {0xC0000094, L"INT_DIVIDE_BY_ZERO"},
    {0xC0000095, L"INT_OVERFLOW"},
    {0xC0000096, L"PRIV_INSTRUCTION"},
    {0xC00000FD, L"STACK_OVERFLOW"},
};
// clang-format on

struct DenseTable {
    const wchar_t* names[kDenseLast - kDenseFirst + 1] = {};
    constexpr DenseTable() {
        for (const NamedCode& entry : kDenseNames) {
            names[entry.code - kDenseFirst] = entry.name;
        }
    }
};

constexpr DenseTable kDenseTable;
constexpr const wchar_t* kUnknown = L"UNKNOWN EXCEPTION";

}  // namespace

const wchar_t* ExceptionName(uint32_t code) {
    switch (code) {
        case 0x80000001:
            return L"GUARD_PAGE";
        case 0x80000002:
            return L"DATATYPE_MISALIGNMENT";
        case 0x80000003:
            return L"BREAKPOINT";
        case 0x80000004:
            return L"SINGLE_STEP";
        case 0xC0000005:
            return L"ACCESS_VIOLATION";
        default:
            break;
    }
    if (code >= kDenseFirst && code <= kDenseLast) {
        const wchar_t* name = kDenseTable.names[code - kDenseFirst];
        if (name != nullptr) {
            return name;
        }
    }
    return kUnknown;
}
