#pragma once
// The script preprocessor: joins a main file and its include files into one
// text for the compiler, obeying conditional directives, and maps positions
// in that text back to file, row and column.
//
// Text that is left out (directives, inactive branches) becomes blanks with
// its line ends kept, so every byte of the output stays where a stretch of
// some source file puts it.

#include "script/common/utils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class TPSPascalCompilerMessage;

// Every preprocessing failure. FileName, Row and Col say where, when known.
class EPSPreProcessor : public std::runtime_error
{
public:
    explicit EPSPreProcessor(const std::string& message, std::string fileName = {}, std::uint32_t row = 0,
                             std::uint32_t col = 0)
        : std::runtime_error(message), FileName(std::move(fileName)), Row(row), Col(col)
    {
    }
    std::string FileName;
    std::uint32_t Row;
    std::uint32_t Col;
};

// Splits a file into text and directives. Only brace comments that start
// with "{$" are directives; comments, strings and line comments are scanned
// whole so that nothing inside them is taken for one.
class TPSPascalPreProcessorParser
{
public:
    enum class TokenKind : std::uint8_t { EndOfText = 0, Text = 1, Directive = 2 };

    // The text must outlive the parser. Scans the first token.
    void SetText(std::string_view text);
    void Next();

    TokenKind Kind() const { return kind_; }
    std::string_view Token() const { return text_.substr(pos_, length_); }
    std::uint32_t Position() const { return pos_; }
    std::uint32_t Row() const;
    std::uint32_t Col() const;
    // Offsets at which the file's lines start; the first line starts after a
    // byte-order mark.
    const std::vector<std::uint32_t>& LineStarts() const { return lineStarts_; }

private:
    std::size_t Scan() const;

    std::string_view text_;
    std::vector<std::uint32_t> lineStarts_;
    std::uint32_t pos_ = 0;
    std::uint32_t length_ = 0;
    TokenKind kind_ = TokenKind::EndOfText;
};

// One stretch of output that comes from one file.
struct TPSLineInfo
{
    std::string FileName;
    std::uint32_t StartPos = 0;                                   // in the output
    std::uint32_t EndPos = 0;                                     // in the output, exclusive
    std::uint32_t FileOffset = 0;                                 // offset in the file of StartPos
    std::shared_ptr<const std::vector<std::uint32_t>> LineStarts; // of the whole file
};

struct TPSLineInfoResults
{
    std::uint32_t Row = 0;
    std::uint32_t Col = 0;
    std::uint32_t Pos = 0; // offset in the file
    std::string Name;
};

class TPSLineInfoList
{
public:
    std::size_t Count() const { return items_.size(); }
    const TPSLineInfo& operator[](std::size_t index) const { return items_[index]; }
    TPSLineInfo& Add() { return items_.emplace_back(); }
    TPSLineInfo& Last() { return items_.back(); }
    void Clear() { items_.clear(); }

    // Finds where an output position comes from. With a module name, only
    // stretches of that file (compared without case) are considered. The end
    // of the whole output belongs to the last stretch.
    bool GetLineInfo(std::string_view moduleName, std::uint32_t pos, TPSLineInfoResults& result) const;

private:
    std::vector<TPSLineInfo> items_;
};

// The conditional branches open while preprocessing.
class TPSDefineStates
{
public:
    struct State
    {
        bool ElseSeen = false;
        bool Write = true;
    };

    bool Empty() const { return states_.empty(); }
    // Whether text is copied at this point.
    bool WriteState() const { return states_.empty() || states_.back().Write; }
    // Whether text is copied around the innermost branch.
    bool PreviousWriteState() const { return states_.size() < 2 || states_[states_.size() - 2].Write; }
    void Push(bool write) { states_.push_back({false, write}); }
    State& Top() { return states_.back(); }
    void Pop() { states_.pop_back(); }
    void Clear() { states_.clear(); }

private:
    std::vector<State> states_;
};

// The symbols in force while preprocessing, upper case. Each DEFINE adds
// an entry and each UNDEF takes one away, so a symbol defined twice needs
// two UNDEFs to go.
class TPSDefineSet
{
public:
    void Assign(const TPSStringList& symbols);
    void Add(std::string symbol) { symbols_.insert(std::move(symbol)); }
    void Remove(const std::string& symbol)
    {
        if (const auto found = symbols_.find(symbol); found != symbols_.end())
            symbols_.erase(found);
    }
    bool Contains(const std::string& symbol) const { return symbols_.contains(symbol); }
    std::size_t Count() const { return symbols_.size(); }
    void Clear() { symbols_.clear(); }

private:
    std::unordered_multiset<std::string> symbols_;
};

class TPSPreProcessor
{
public:
    // Supplies an include file: may rewrite fileName (say, to a full path)
    // and fills content. False means there is no such file.
    using NeedFileHandler = std::function<bool(TPSPreProcessor& sender, const std::string& includingFile,
                                               std::string& fileName, std::string& content)>;
    // Sees a directive before the preprocessor does; clearing continueProcessing
    // takes it over. active tells whether text is being copied.
    using DirectiveHandler =
        std::function<void(TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser, bool active,
                           const std::string& name, const std::string& param, bool& continueProcessing)>;

    TPSPreProcessor();
    virtual ~TPSPreProcessor() = default;

    // Puts the symbols every script starts with into Defines.
    virtual void InitializeDefines();
    // Empties the branch states, both define lists and the line information.
    void Clear();

    // Preprocesses the main file's text; throws EPSPreProcessor.
    std::string PreProcess(const std::string& fileName, std::string_view text);

    // Rewrites a compiler message placed in the output to its source file,
    // row and column.
    void AdjustMessage(TPSPascalCompilerMessage& message) const;
    void AdjustMessages(std::span<const std::unique_ptr<TPSPascalCompilerMessage>> messages) const;

    TPSStringList Defines;       // symbols to start from, upper case
    TPSDefineSet CurrentDefines; // symbols in force while preprocessing
    TPSLineInfoList LineInfo;
    NeedFileHandler OnNeedFile;
    DirectiveHandler OnProcessDirective;
    DirectiveHandler OnProcessUnknowDirective;
    int MaxLevel = 20;
    // Includes can multiply text (a file that includes itself twice doubles
    // at every level), so the output has a ceiling.
    std::size_t MaxOutputSize = 64 * 1024 * 1024;
    // Each include adds to the position table whatever its size, so their
    // number has a ceiling too.
    std::size_t MaxIncludes = 10000;

private:
    void ProcessFile(const std::string& fileName, std::string_view text, int depth, std::string& output);
    void Append(std::string& output, std::string_view text, bool write, const std::string& fileName) const;

    TPSDefineStates defineStates_;
    std::size_t includes_ = 0;
};
