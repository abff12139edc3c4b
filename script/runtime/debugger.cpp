#include "script/runtime/debugger.h"

#include "script/common/bytecode_image.h"
#include "script/common/instruction_set.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

namespace dd = ps::debugdata;

constexpr std::string_view kNoReturnAddress = "Expected return address at stack base";

class Reader
{
public:
    explicit Reader(std::string_view data) : data_(data) {}
    bool atEnd() const { return pos_ >= data_.size(); }
    bool byte(std::uint8_t& out)
    {
        if (atEnd())
            return false;
        out = static_cast<std::uint8_t>(data_[pos_++]);
        return true;
    }
    bool u32(std::uint32_t& out) { return pscode::readU32(data_, pos_, out); }
    // Several fields in a row, with one test of the room left.
    template <std::size_t N> bool u32s(std::uint32_t* const (&out)[N])
    {
        if (pos_ > data_.size() || data_.size() - pos_ < 4 * N)
            return false;
        for (std::uint32_t* field : out) {
            // Little-endian in the data.
            std::uint32_t value;
            std::memcpy(&value, data_.data() + pos_, 4);
            if constexpr (std::endian::native == std::endian::big)
                value = __builtin_bswap32(value);
            *field = value;
            pos_ += 4;
        }
        return true;
    }
    // A text ended by the name mark.
    bool name(std::string_view& out)
    {
        const std::size_t end = data_.find(dd::NameEnd, pos_);
        if (end == std::string_view::npos)
            return false;
        out = data_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }
    bool name(std::string& out)
    {
        std::string_view text;
        if (!name(text))
            return false;
        out.assign(text);
        return true;
    }
    // Names each ended by the name mark, the list by the list mark.
    bool names(std::vector<std::string>& out)
    {
        while (pos_ < data_.size()) {
            if (data_[pos_] == dd::ListEnd) {
                ++pos_;
                return true;
            }
            std::string item;
            if (!name(item))
                return false;
            out.push_back(std::move(item));
        }
        return false;
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

// Files the marks of a procedure's entries: the code positions that have
// one, ascending, each with its first entry. Entries come in code order as
// the compiler writes them; other data is sorted, keeping the first entry
// of each position.
void fileMarks(TPSFunctionDebugInfo& info)
{
    info.marks.clear();
    info.markEntries.clear();
    const std::vector<TPSPositionData>& positions = info.positions;
    info.marks.reserve(positions.size());
    info.markEntries.reserve(positions.size());
    auto add = [&info, &positions](std::uint32_t entry) {
        const std::uint32_t code = positions[entry].codePosition;
        if (info.marks.empty() || info.marks.back() != code) {
            info.marks.push_back(code);
            info.markEntries.push_back(entry);
        }
    };
    const bool inOrder = std::is_sorted(positions.begin(), positions.end(),
                                        [](const TPSPositionData& a, const TPSPositionData& b) {
                                            return a.codePosition < b.codePosition;
                                        });
    if (inOrder) {
        for (std::uint32_t i = 0; i < positions.size(); ++i)
            add(i);
        return;
    }
    std::vector<std::uint32_t> order(positions.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&positions](std::uint32_t a, std::uint32_t b) {
        return positions[a].codePosition < positions[b].codePosition;
    });
    for (const std::uint32_t i : order)
        add(i);
}

} // namespace

const std::string& TPSNoFileName()
{
    static const std::string none;
    return none;
}

// ---- Debug data ------------------------------------------------------------------

void TPSCustomDebugExec::ResetDebugInfo()
{
    currentDebugInfo_ = nullptr;
    lastProc_ = nullptr;
    procNames_.clear();
    globalVarNames_.clear();
    currentSourcePos_ = 0;
    currentRow_ = 0;
    currentCol_ = 0;
    currentFile_.clear();
    debugInfo_.clear();
    debugInfoByProc_.clear();
    fileNames_.clear();
    marksSeen_ = MarksPassed();
    marksChanged();
}

void TPSCustomDebugExec::marksChanged()
{
    // The decoded code asks for the marks again; a run under way keeps the
    // old ones and looks positions up before every instruction instead.
    marksStale_ = !ForgetDecodedCode();
}

TPSMarks TPSCustomDebugExec::MarksOf(const TPSInternalProcRec& proc) const
{
    const auto found = debugInfoByProc_.find(&proc);
    if (found == debugInfoByProc_.end())
        return {nullptr, true};
    return {&found->second->marks, false};
}

void TPSCustomDebugExec::Clear()
{
    TPSExec::Clear();
    ResetDebugInfo();
}

void TPSCustomDebugExec::LoadDebugInfo(std::string_view data)
{
    ResetDebugInfo();
    if (Status() == TPSStatus::NotLoaded)
        return;
    // However the data ends, the marks are those of what was read.
    struct Marks
    {
        TPSCustomDebugExec& exec;
        ~Marks()
        {
            for (const auto& info : exec.debugInfo_)
                fileMarks(*info);
            exec.marksChanged();
        }
    } marks{*this};
    Reader in(data);
    TPSFunctionDebugInfo* last = nullptr;
    std::uint32_t lastProcNo = 0;
    // The record of a procedure, made at its first mention; none for a
    // number that names no script procedure of the image. The entries of
    // one procedure come together.
    auto recordOf = [&](std::uint32_t procNo) -> TPSFunctionDebugInfo* {
        if (last && lastProcNo == procNo)
            return last;
        const TPSProcRec* proc = GetProcNo(procNo);
        if (!dynamic_cast<const TPSInternalProcRec*>(proc))
            return nullptr;
        lastProcNo = procNo;
        if (last && last->proc == proc)
            return last;
        if (const auto found = debugInfoByProc_.find(proc); found != debugInfoByProc_.end())
            return last = found->second;
        debugInfo_.push_back(std::make_unique<TPSFunctionDebugInfo>());
        last = debugInfo_.back().get();
        last->proc = proc;
        debugInfoByProc_.emplace(proc, last);
        return last;
    };
    // The file name of an entry: most entries name the file the one before
    // named.
    std::unordered_map<std::string_view, const std::string*> files;
    const std::string* lastFile = &TPSNoFileName();
    auto fileNamed = [&](std::string_view name) -> const std::string& {
        if (name == *lastFile)
            return *lastFile;
        auto found = files.find(name);
        if (found == files.end()) {
            const std::string& kept = fileNames_.emplace_back(name);
            found = files.emplace(std::string_view(kept), &kept).first;
        }
        lastFile = found->second;
        return *lastFile;
    };
    std::uint8_t tag = 0;
    while (in.byte(tag)) {
        std::uint32_t procNo = 0;
        switch (tag) {
        case dd::ProcNames:
            if (!in.names(procNames_))
                return;
            break;
        case dd::GlobalNames:
            if (!in.names(globalVarNames_))
                return;
            break;
        case dd::Params:
        case dd::Locals: {
            std::vector<std::string> names;
            if (!in.u32(procNo) || procNo == dd::NoProc || !in.names(names))
                return;
            if (TPSFunctionDebugInfo* info = recordOf(procNo))
                (tag == dd::Params ? info->paramNames : info->varNames) = std::move(names);
            break;
        }
        case dd::Line: {
            std::string_view file;
            TPSPositionData entry;
            if (!in.name(file) ||
                !in.u32s({&procNo, &entry.codePosition, &entry.sourcePosition, &entry.row, &entry.col}) ||
                procNo == dd::NoProc)
                return;
            if (TPSFunctionDebugInfo* info = recordOf(procNo)) {
                entry.fileName = fileNamed(file);
                info->positions.push_back(entry);
            }
            break;
        }
        default:
            ResetDebugInfo();
            return;
        }
    }
}

const TPSFunctionDebugInfo* TPSCustomDebugExec::DebugInfoOf(std::uint32_t procNo) const
{
    const auto found = debugInfoByProc_.find(GetProcNo(procNo));
    return found != debugInfoByProc_.end() ? found->second : nullptr;
}

const TPSCustomDebugExec& TPSCustomDebugExec::caughtUp() const
{
    if (MarksPassed() != marksSeen_) {
        marksSeen_ = MarksPassed();
        translateAt(MarkProc(), MarkPosition());
    }
    return *this;
}

bool TPSCustomDebugExec::TranslatePosition()
{
    caughtUp();
    return translateAt(CurrentProc(), Position());
}

bool TPSCustomDebugExec::translateAt(const TPSProcRec* proc, std::uint32_t pos) const
{
    if (proc != lastProc_) {
        lastProc_ = proc;
        const auto found = debugInfoByProc_.find(proc);
        currentDebugInfo_ = found != debugInfoByProc_.end() ? found->second : nullptr;
    }
    if (!currentDebugInfo_) {
        currentSourcePos_ = 0;
        currentRow_ = 0;
        currentCol_ = 0;
        currentFile_.clear();
        return false;
    }
    const std::vector<std::uint32_t>& marks = currentDebugInfo_->marks;
    const auto found = std::lower_bound(marks.begin(), marks.end(), pos);
    if (found == marks.end() || *found != pos)
        return false;
    const TPSPositionData& entry =
        currentDebugInfo_->positions[currentDebugInfo_->markEntries[static_cast<std::size_t>(found - marks.begin())]];
    currentSourcePos_ = entry.sourcePosition;
    currentRow_ = entry.row;
    currentCol_ = entry.col;
    currentFile_ = entry.fileName.get();
    return true;
}

// ---- Stepping --------------------------------------------------------------------

TPSHookLevel TPSDebugExec::HookLevel() const
{
    if (!DebugEnabled || mode_ == TPSDebugMode::Paused || MarksStale())
        return TPSHookLevel::Every;
    if (OnSourceLine || mode_ != TPSDebugMode::Run)
        return TPSHookLevel::AtMarks;
    return TPSHookLevel::NoteMarks;
}

bool TPSDebugExec::LoadBytecode(std::string_view image)
{
    const bool loaded = TPSCustomDebugExec::LoadBytecode(image);
    mode_ = TPSDebugMode::Run;
    return loaded;
}

void TPSDebugExec::ResetDebugInfo()
{
    TPSCustomDebugExec::ResetDebugInfo();
    mode_ = TPSDebugMode::Run;
}

void TPSDebugExec::Pause()
{
    mode_ = TPSDebugMode::Paused;
}

void TPSDebugExec::Stop()
{
    mode_ = TPSDebugMode::Run;
    TPSCustomDebugExec::Stop();
}

void TPSDebugExec::StepInto()
{
    mode_ = TPSDebugMode::StepInto;
}

void TPSDebugExec::StepOver()
{
    stepOverProc_ = CurrentProc();
    stepOverFrame_ = FrameBase();
    mode_ = TPSDebugMode::StepOver;
}

void TPSDebugExec::Resume()
{
    mode_ = TPSDebugMode::Run;
}

void TPSDebugExec::BeforeInstruction()
{
    TPSCustomDebugExec::BeforeInstruction();
    if (!DebugEnabled)
        return;
    // Neither a broken frame chain nor the host's callbacks raise through
    // the interpreter: they end the run with an error instead.
    try {
        if (TranslatePosition() && !sourceChanged()) {
            mode_ = TPSDebugMode::Run;
            ReportError(ErInternalError, std::string(kNoReturnAddress));
            return;
        }
        while (mode_ == TPSDebugMode::Paused && OnIdleCall && Status() == TPSStatus::Running)
            OnIdleCall(this);
    } catch (...) {
        mode_ = TPSDebugMode::Run;
        ReportException(std::current_exception());
    }
}

bool TPSDebugExec::sourceChanged()
{
    if (mode_ == TPSDebugMode::StepOver) {
        bool done = false;
        if (!stepOverDone(done))
            return false;
        if (done)
            mode_ = TPSDebugMode::Paused;
    } else if (mode_ == TPSDebugMode::StepInto) {
        mode_ = TPSDebugMode::Paused;
    }
    if (OnSourceLine)
        OnSourceLine(this, currentFile_, currentSourcePos_, currentRow_, currentCol_);
    return true;
}

bool TPSDebugExec::stepOverDone(bool& done)
{
    done = true;
    if (CurrentProc() == stepOverProc_ && FrameBase() == stepOverFrame_)
        return true;
    TPSStack& stack = Stack();
    std::int32_t frame = FrameBase();
    while (frame >= 0) {
        if (frame < stepOverFrame_)
            return true; // the frame the step began in is gone
        TPSStackEntry* entry = frame < static_cast<std::int32_t>(stack.Count()) ? stack.Items(frame) : nullptr;
        if (!entry || entry->type->baseType != ps::BaseType::ReturnAddress)
            return false;
        TPSReturnRecord back;
        std::memcpy(&back, entry->data(), sizeof back);
        if (back.callerProc == stepOverProc_ && back.frameBase == stepOverFrame_) {
            done = false; // still inside a call the step goes over
            return true;
        }
        frame = back.frameBase;
    }
    return true;
}
