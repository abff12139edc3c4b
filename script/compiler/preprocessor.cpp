#include "script/compiler/preprocessor.h"

#include "script/compiler/compiler_messages.h"

#include <algorithm>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || isLineEnd(c);
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isOneWord(std::string_view s)
{
    return std::none_of(s.begin(), s.end(), isSpace);
}

// Replaces "%s" and "%d" in order by the given values.
std::string format(std::string_view pattern, std::initializer_list<std::string> values)
{
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
            value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::uint32_t rowOf(const std::vector<std::uint32_t>& lineStarts, std::uint32_t pos)
{
    const auto after = std::upper_bound(lineStarts.begin(), lineStarts.end(), pos);
    return static_cast<std::uint32_t>(std::max<std::ptrdiff_t>(after - lineStarts.begin(), 1));
}

std::uint32_t colOf(const std::vector<std::uint32_t>& lineStarts, std::uint32_t row, std::uint32_t pos)
{
    const std::uint32_t start = lineStarts[row - 1];
    return pos > start ? pos - start + 1 : 1; // a position inside a byte-order mark is column 1
}

} // namespace

// ---------------------------------------------------------------------------

void TPSPascalPreProcessorParser::SetText(std::string_view text)
{
    text_ = text;
    lineStarts_.clear();
    pos_ = text.starts_with(kByteOrderMark) ? static_cast<std::uint32_t>(kByteOrderMark.size()) : 0;
    lineStarts_.push_back(pos_);
    for (std::size_t i = pos_; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        if (isLineEnd(text[i]))
            lineStarts_.push_back(static_cast<std::uint32_t>(i + 1));
    }
    length_ = 0;
    Next();
}

void TPSPascalPreProcessorParser::Next()
{
    pos_ += length_;
    // A NUL byte ends the text, as it does for the compiler.
    if (pos_ >= text_.size() || text_[pos_] == '\0') {
        length_ = 0;
        kind_ = TokenKind::EndOfText;
        return;
    }
    length_ = static_cast<std::uint32_t>(Scan());
    const std::string_view token = Token();
    kind_ = token.size() > 2 && token[0] == '{' && token[1] == '$' && token.back() == '}' ? TokenKind::Directive
                                                                                          : TokenKind::Text;
}

std::size_t TPSPascalPreProcessorParser::Scan() const
{
    const std::string_view rest = text_.substr(pos_);
    auto upTo = [&rest](std::size_t found, std::size_t extra) {
        return found == std::string_view::npos ? rest.size() : found + extra;
    };
    switch (rest[0]) {
    case '{':
        return upTo(rest.find('}', 1), 1); // an unclosed comment is text for the compiler to refuse
    case '(':
        // The search starts at the star, so "(*)" is a whole comment, as the
        // compiler reads it.
        return rest.size() > 1 && rest[1] == '*' ? upTo(rest.find("*)", 1), 2) : 1;
    case '/':
        return rest.size() > 1 && rest[1] == '/' ? upTo(rest.find_first_of("\r\n", 2), 0) : 1;
    case '\'': {
        std::size_t i = 1;
        while (i < rest.size() && !isLineEnd(rest[i])) {
            if (rest[i] == '\'') {
                if (i + 1 < rest.size() && rest[i + 1] == '\'')
                    ++i;
                else
                    return i + 1;
            }
            ++i;
        }
        return i;
    }
    default:
        return upTo(rest.find_first_of(std::string_view("'(/{\0", 5)), 0);
    }
}

std::uint32_t TPSPascalPreProcessorParser::Row() const
{
    return rowOf(lineStarts_, pos_);
}

std::uint32_t TPSPascalPreProcessorParser::Col() const
{
    return colOf(lineStarts_, Row(), pos_);
}

// ---------------------------------------------------------------------------

bool TPSLineInfoList::GetLineInfo(std::string_view moduleName, std::uint32_t pos, TPSLineInfoResults& result) const
{
    const std::string name = FastUpperCase(moduleName);
    for (std::size_t i = items_.size(); i-- > 0;) {
        const TPSLineInfo& info = items_[i];
        const bool inside =
            pos >= info.StartPos && (pos < info.EndPos || (pos == info.EndPos && i + 1 == items_.size()));
        if (!inside || (!name.empty() && FastUpperCase(info.FileName) != name))
            continue;
        const std::uint32_t filePos = info.FileOffset + (pos - info.StartPos);
        result.Row = rowOf(*info.LineStarts, filePos);
        result.Col = colOf(*info.LineStarts, result.Row, filePos);
        result.Pos = filePos;
        result.Name = info.FileName;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------

TPSPreProcessor::TPSPreProcessor()
{
    InitializeDefines();
}

void TPSPreProcessor::InitializeDefines()
{
    Defines.Add("VER23");
    Defines.Add("CPU386");
    Defines.Add("MSWINDOWS");
    Defines.Add("WIN32");
}

void TPSDefineSet::Assign(const TPSStringList& symbols)
{
    symbols_.clear();
    for (const std::string& symbol : symbols)
        symbols_.insert(symbol);
}

void TPSPreProcessor::Clear()
{
    defineStates_.Clear();
    Defines.Clear();
    CurrentDefines.Clear();
    LineInfo.Clear();
}

std::string TPSPreProcessor::PreProcess(const std::string& fileName, std::string_view text)
{
    // Nothing of an earlier run, failed or not, may leak into this one.
    defineStates_.Clear();
    LineInfo.Clear();
    CurrentDefines.Assign(Defines);
    includes_ = 0;
    std::string output;
    ProcessFile(fileName, text, 0, output);
    if (!defineStates_.Empty())
        throw EPSPreProcessor("Define not closed", fileName);
    return output;
}

void TPSPreProcessor::Append(std::string& output, std::string_view text, bool write, const std::string& fileName) const
{
    if (output.size() + text.size() > MaxOutputSize)
        throw EPSPreProcessor(format("Text too large while processing '%s'", {fileName}), fileName);
    if (write) {
        output += text;
        return;
    }
    for (const char c : text)
        output += isLineEnd(c) ? c : ' ';
}

void TPSPreProcessor::ProcessFile(const std::string& fileName, std::string_view text, int depth, std::string& output)
{
    TPSPascalPreProcessorParser parser;
    parser.SetText(text);
    const auto lineStarts = std::make_shared<const std::vector<std::uint32_t>>(parser.LineStarts());

    auto beginStretch = [&](std::uint32_t fileOffset) {
        TPSLineInfo& info = LineInfo.Add();
        info.FileName = fileName;
        info.StartPos = info.EndPos = static_cast<std::uint32_t>(output.size());
        info.FileOffset = fileOffset;
        info.LineStarts = lineStarts;
    };
    auto endStretch = [&] { LineInfo.Last().EndPos = static_cast<std::uint32_t>(output.size()); };

    beginStretch(0);
    Append(output, text.substr(0, parser.Position()), false, fileName); // the byte-order mark

    for (; parser.Kind() != TPSPascalPreProcessorParser::TokenKind::EndOfText; parser.Next()) {
        const std::string_view token = parser.Token();
        const bool write = defineStates_.WriteState();
        if (parser.Kind() == TPSPascalPreProcessorParser::TokenKind::Text) {
            Append(output, token, write, fileName);
            continue;
        }
        Append(output, token, false, fileName);

        const std::string_view body = trim(token.substr(2, token.size() - 3));
        const std::size_t blank = std::find_if(body.begin(), body.end(), isSpace) - body.begin();
        const std::string name = FastUpperCase(body.substr(0, blank));
        const std::string param(trim(body.substr(blank)));
        auto fail = [&](std::string_view pattern) {
            const std::uint32_t row = parser.Row(), col = parser.Col();
            throw EPSPreProcessor(format(pattern, {std::to_string(row), std::to_string(col)}), fileName, row, col);
        };
        auto requireOneWord = [&] {
            if (!isOneWord(param))
                fail("Too many parameters at %d:%d");
        };
        auto requireNone = [&] {
            if (!param.empty())
                fail("Too many parameters at %d:%d");
        };

        bool continueProcessing = true;
        if (OnProcessDirective)
            OnProcessDirective(*this, parser, write, name, param, continueProcessing);
        if (!continueProcessing)
            continue;

        if (name == "I" || name == "INCLUDE") {
            if (!write)
                continue;
            std::string includeName = param;
            if (includeName.size() >= 2 && includeName.front() == '\'' && includeName.back() == '\'')
                includeName = includeName.substr(1, includeName.size() - 2);
            const std::uint32_t row = parser.Row(), col = parser.Col();
            if (depth + 1 > MaxLevel)
                throw EPSPreProcessor(
                    format("Too many nested include files while processing '%s' from '%s'", {includeName, fileName}),
                    fileName, row, col);
            if (++includes_ > MaxIncludes)
                throw EPSPreProcessor(
                    format("Too many include files while processing '%s' from '%s'", {includeName, fileName}), fileName,
                    row, col);
            std::string content;
            if (!OnNeedFile || !OnNeedFile(*this, fileName, includeName, content))
                throw EPSPreProcessor(format("Unable to find file '%s' used from '%s'", {includeName, fileName}),
                                      fileName, row, col);
            endStretch();
            ProcessFile(includeName, content, depth + 1, output);
            beginStretch(parser.Position() + static_cast<std::uint32_t>(token.size()));
        } else if (name == "DEFINE") {
            if (!write)
                continue;
            requireOneWord();
            CurrentDefines.Add(FastUpperCase(param));
        } else if (name == "UNDEF") {
            if (!write)
                continue;
            requireOneWord();
            CurrentDefines.Remove(FastUpperCase(param));
        } else if (name == "IFDEF" || name == "IFNDEF") {
            requireOneWord();
            const bool defined = CurrentDefines.Contains(FastUpperCase(param));
            defineStates_.Push(write && (defined == (name == "IFDEF")));
        } else if (name == "ELSE") {
            requireNone();
            if (defineStates_.Empty())
                fail("No IFDEF for ELSE at %d:%d");
            if (defineStates_.Top().ElseSeen)
                fail("Can't use ELSE twice at %d:%d");
            const bool outer = defineStates_.PreviousWriteState();
            TPSDefineStates::State& state = defineStates_.Top();
            state.ElseSeen = true;
            state.Write = !state.Write && outer;
        } else if (name == "ENDIF") {
            requireNone();
            if (defineStates_.Empty())
                fail("No IFDEF for ENDIF at %d:%d");
            defineStates_.Pop();
        } else {
            if (OnProcessUnknowDirective)
                OnProcessUnknowDirective(*this, parser, write, name, param, continueProcessing);
            if (continueProcessing)
                fail("Unknown compiler directives at %d:%d");
        }
    }
    endStretch();
}

void TPSPreProcessor::AdjustMessage(TPSPascalCompilerMessage& message) const
{
    TPSLineInfoResults found;
    if (!LineInfo.GetLineInfo(message.ModuleName, message.Pos, found))
        return;
    message.ModuleName = found.Name;
    message.Row = found.Row;
    message.Col = found.Col;
}

void TPSPreProcessor::AdjustMessages(std::span<const std::unique_ptr<TPSPascalCompilerMessage>> messages) const
{
    for (const auto& message : messages)
        AdjustMessage(*message);
}
