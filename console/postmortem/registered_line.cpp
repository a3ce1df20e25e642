#include "console/postmortem/registered_line.h"

#include <cwchar>

#include "console/options/jit_arguments.h"

namespace {

// The options between the program and -j, in the order they are written.
// Each is a flag, a number or a quoted text, stored in one member.
struct OptionShape {
    const wchar_t* name;  // with its leading blank
    bool RegisteredLine::*flag;
    uint32_t RegisteredLine::*number;
    std::wstring RegisteredLine::*text;
};

struct ContentShape {
    const wchar_t* name;
    RegisteredContent content;
    std::wstring RegisteredLine::*text;  // the quoted value, or null
};

constexpr ContentShape kContentOptions[] = {
    {L" -ma", RegisteredContent::kFullMemory, nullptr},
    {L" -mp", RegisteredContent::kMiniPlus, nullptr},
    {L" -d", RegisteredContent::kUserLibrary, &RegisteredLine::libraryPath},
};

const OptionShape kBoundOptions[] = {
    {L" -keep", nullptr, &RegisteredLine::keepFiles, nullptr},
    {L" -free", nullptr, &RegisteredLine::freeMB, nullptr},
    {L" -meta", &RegisteredLine::metadata, nullptr, nullptr},
    {L" -rate", nullptr, &RegisteredLine::ratePerHour, nullptr},
    {L" -log", nullptr, nullptr, &RegisteredLine::logPath},
    {L" -upload", nullptr, nullptr, &RegisteredLine::uploadUrl},
};

constexpr wchar_t kDumpOption[] = L" -j";

// -- writing ------------------------------------------------------------------

class LineWriter {
  public:
    explicit LineWriter(wchar_t* out) : out_(out) { out_[0] = L'\0'; }

    void Append(const wchar_t* text) {
        for (; *text != L'\0'; ++text) {
            Put(*text);
        }
    }

    // The text in double quotes, with "%" doubled and the backslashes in
    // front of the closing quote doubled.
    void AppendQuoted(const std::wstring& text) {
        Put(L'"');
        size_t trailing = 0;
        for (size_t i = text.size(); i > 0 && text[i - 1] == L'\\'; --i) {
            ++trailing;
        }
        for (wchar_t c : text) {
            Put(c);
            if (c == L'%') {
                Put(L'%');
            }
        }
        for (size_t i = 0; i < trailing; ++i) {
            Put(L'\\');
        }
        Put(L'"');
    }

    void AppendNumber(uint32_t number) { Append(std::to_wstring(number).c_str()); }

    // False when something did not fit; the line is then left empty.
    bool Finish() {
        if (!fits_) {
            out_[0] = L'\0';
            return false;
        }
        out_[length_] = L'\0';
        return true;
    }

  private:
    void Put(wchar_t c) {
        if (length_ + 1 >= kDebuggerCommandCapacity) {
            fits_ = false;
            return;
        }
        out_[length_++] = c;
    }

    wchar_t* out_;
    size_t length_ = 0;
    bool fits_ = true;
};

void WriteContent(const RegisteredLine& line, LineWriter& writer) {
    for (const ContentShape& shape : kContentOptions) {
        if (shape.content == line.content) {
            writer.Append(shape.name);
            if (shape.text != nullptr) {
                writer.Append(L" ");
                writer.AppendQuoted(line.*shape.text);
            }
        }
    }
}

void WriteBounds(const RegisteredLine& line, LineWriter& writer) {
    for (const OptionShape& shape : kBoundOptions) {
        const bool given = (shape.flag != nullptr && line.*shape.flag) ||
                           (shape.number != nullptr && line.*shape.number != 0) ||
                           (shape.text != nullptr && !(line.*shape.text).empty());
        if (!given) {
            continue;
        }
        writer.Append(shape.name);
        if (shape.number != nullptr) {
            writer.Append(L" ");
            writer.AppendNumber(line.*shape.number);
        } else if (shape.text != nullptr) {
            writer.Append(L" ");
            writer.AppendQuoted(line.*shape.text);
        }
    }
}

// -- reading ------------------------------------------------------------------

bool Take(const wchar_t*& rest, const wchar_t* expected) {
    const size_t length = wcslen(expected);
    if (wcsncmp(rest, expected, length) != 0) {
        return false;
    }
    rest += length;
    return true;
}

// A quoted value as AppendQuoted writes it. A lone "%" (written before "%"
// was doubled) is taken as it stands, so that such a registration can still
// be undone.
bool TakeQuoted(const wchar_t*& rest, std::wstring* value) {
    if (*rest != L'"') {
        return false;
    }
    const wchar_t* close = wcschr(rest + 1, L'"');
    if (close == nullptr) {
        return false;
    }
    std::wstring text;
    for (const wchar_t* c = rest + 1; c < close; ++c) {
        text += *c;
        if (c[0] == L'%' && c + 1 < close && c[1] == L'%') {
            ++c;
        }
    }
    size_t trailing = 0;
    for (size_t i = text.size(); i > 0 && text[i - 1] == L'\\'; --i) {
        ++trailing;
    }
    text.resize(text.size() - trailing / 2);
    *value = text;
    rest = close + 1;
    return true;
}

bool TakeNumber(const wchar_t*& rest, uint32_t* value) {
    uint64_t number = 0;
    const wchar_t* digits = rest;
    while (*rest >= L'0' && *rest <= L'9') {
        number = number * 10 + static_cast<uint64_t>(*rest - L'0');
        if (number > UINT32_MAX) {
            return false;
        }
        ++rest;
    }
    *value = static_cast<uint32_t>(number);
    return rest != digits;
}

// An option's name followed by a blank and its value, or by the end of the
// option (a blank comes next in every line of ours).
bool TakeOptionName(const wchar_t*& rest, const wchar_t* name) {
    const wchar_t* after = rest;
    if (!Take(after, name) || *after != L' ') {
        return false;
    }
    rest = after;
    return true;
}

bool ReadContent(const wchar_t*& rest, RegisteredLine* line) {
    for (const ContentShape& shape : kContentOptions) {
        if (TakeOptionName(rest, shape.name)) {
            line->content = shape.content;
            return shape.text == nullptr ||
                   (Take(rest, L" ") && TakeQuoted(rest, &(line->*shape.text)));
        }
    }
    return true;
}

bool ReadBounds(const wchar_t*& rest, RegisteredLine* line) {
    for (const OptionShape& shape : kBoundOptions) {
        if (!TakeOptionName(rest, shape.name)) {
            continue;
        }
        if (shape.flag != nullptr) {
            line->*shape.flag = true;
        } else if (shape.number != nullptr) {
            if (!Take(rest, L" ") || !TakeNumber(rest, &(line->*shape.number))) {
                return false;
            }
        } else if (!Take(rest, L" ") || !TakeQuoted(rest, &(line->*shape.text))) {
            return false;
        }
    }
    return true;
}

bool IsOurProgramName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const wchar_t prefix[] = L"varnhold";
    const wchar_t suffix[] = L".exe";
    const size_t prefixLength = wcslen(prefix);
    const size_t suffixLength = wcslen(suffix);
    return name.size() >= prefixLength + suffixLength &&
           _wcsnicmp(name.c_str(), prefix, prefixLength) == 0 &&
           _wcsicmp(name.c_str() + name.size() - suffixLength, suffix) == 0;
}

}  // namespace

bool BuildDebuggerCommandLine(const RegisteredLine& line, wchar_t* out) {
    LineWriter writer(out);
    writer.AppendQuoted(line.programPath);
    WriteContent(line, writer);
    WriteBounds(line, writer);
    writer.Append(kDumpOption);
    writer.Append(L" ");
    writer.AppendQuoted(line.dumpPath);
    writer.Append(line.debugInfoAddress ? kJitTailWithAddress : kJitTailWithoutAddress);
    return writer.Finish();
}

std::optional<RegisteredLine> ParseDebuggerCommandLine(const wchar_t* command) {
    RegisteredLine line;
    const wchar_t* rest = command;
    if (!TakeQuoted(rest, &line.programPath) || !IsOurProgramName(line.programPath) ||
        !ReadContent(rest, &line) || !ReadBounds(rest, &line) || !Take(rest, kDumpOption) ||
        !Take(rest, L" ") || !TakeQuoted(rest, &line.dumpPath)) {
        return std::nullopt;
    }
    if (Take(rest, kJitTailWithAddress)) {
        line.debugInfoAddress = true;
    } else if (Take(rest, kJitTailWithoutAddress)) {
        line.debugInfoAddress = false;
    } else {
        return std::nullopt;
    }
    if (*rest != L'\0') {
        return std::nullopt;
    }
    return line;
}
