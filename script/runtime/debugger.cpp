#include "script/runtime/debugger.h"

#include "script/common/bytecode_image.h"
#include "script/common/instruction_set.h"

#include <algorithm>
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
    // A text ended by the name mark.
    bool name(std::string& out)
    {
        const std::size_t end = data_.find(dd::NameEnd, pos_);
        if (end == std::string_view::npos)
            return false;
        out.assign(data_.substr(pos_, end - pos_));
        pos_ = end + 1;
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

} // namespace

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
            for (const auto& info : exec.debugInfo_) {
                info->marks.clear();
                for (const TPSPositionData& entry : info->positions)
                    info->marks.push_back(entry.codePosition);
                std::sort(info->marks.begin(), info->marks.end());
                info->marks.erase(std::unique(info->marks.begin(), info->marks.end()), info->marks.end());
            }
            exec.marksChanged();
        }
    } marks{*this};
    Reader in(data);
    TPSFunctionDebugInfo* last = nullptr;
    // The record of a procedure, made at its first mention; none for a
    // number that names no script procedure of the image.
    auto recordOf = [&](std::uint32_t procNo) -> TPSFunctionDebugInfo* {
        const TPSProcRec* proc = GetProcNo(procNo);
        if (!dynamic_cast<const TPSInternalProcRec*>(proc))
            return nullptr;
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
            TPSPositionData entry;
            if (!in.name(entry.fileName) || !in.u32(procNo) || procNo == dd::NoProc || !in.u32(entry.codePosition) ||
                !in.u32(entry.sourcePosition) || !in.u32(entry.row) || !in.u32(entry.col))
                return;
            if (TPSFunctionDebugInfo* info = recordOf(procNo)) {
                info->byCodePosition.emplace(entry.codePosition, info->positions.size());
                info->positions.push_back(std::move(entry));
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
    const auto found = currentDebugInfo_->byCodePosition.find(pos);
    if (found == currentDebugInfo_->byCodePosition.end())
        return false;
    const TPSPositionData& entry = currentDebugInfo_->positions[found->second];
    currentSourcePos_ = entry.sourcePosition;
    currentRow_ = entry.row;
    currentCol_ = entry.col;
    currentFile_ = entry.fileName;
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
