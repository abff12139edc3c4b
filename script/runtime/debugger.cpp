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
    template <std::size_t N> bool u32s(std::uint32_t (&out)[N])
    {
        if (pos_ > data_.size() || data_.size() - pos_ < sizeof out)
            return false;
        std::memcpy(out, data_.data() + pos_, sizeof out);
        pos_ += sizeof out;
        // Little-endian in the data.
        if constexpr (std::endian::native == std::endian::big) {
            for (std::uint32_t& value : out)
                value = __builtin_bswap32(value);
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
    // Passes the text ended by the name mark if it is the given one, which
    // holds no name mark: most entries name the file the one before named,
    // and this needs no search.
    bool sameName(std::string_view known)
    {
        if (data_.size() - pos_ <= known.size() || data_[pos_ + known.size()] != dd::NameEnd ||
            data_.compare(pos_, known.size(), known) != 0)
            return false;
        pos_ += known.size() + 1;
        return true;
    }
    // Names each ended by the name mark, the list by the list mark at the
    // start of a name. Every whole name read is kept, also when the data
    // ends inside the list.
    template <typename Names> bool names(Names& out)
    {
        std::size_t start = pos_;
        for (std::size_t at = pos_; at < data_.size(); ++at) {
            const char c = data_[at];
            if (c == dd::NameEnd) {
                out.emplace_back(data_.substr(start, at - start));
                start = at + 1;
            } else if (c == dd::ListEnd && at == start) {
                pos_ = at + 1;
                return true;
            }
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
    const std::span<const TPSPositionData> positions = info.positions;
    info.marks.resize(positions.size());
    info.markEntries.resize(positions.size());
    std::uint32_t* const marks = info.marks.data();
    std::uint32_t* const entries = info.markEntries.data();
    std::size_t count = 0;
    std::uint32_t i = 0;
    for (; i < positions.size(); ++i) {
        const std::uint32_t code = positions[i].codePosition;
        if (count > 0 && code <= marks[count - 1]) {
            if (code < marks[count - 1])
                break;
            continue;
        }
        marks[count] = code;
        entries[count] = i;
        ++count;
    }
    if (i < positions.size()) {
        std::vector<std::uint32_t> order(positions.size());
        for (std::uint32_t k = 0; k < order.size(); ++k)
            order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&positions](std::uint32_t a, std::uint32_t b) {
            return positions[a].codePosition < positions[b].codePosition;
        });
        count = 0;
        for (const std::uint32_t k : order) {
            const std::uint32_t code = positions[k].codePosition;
            if (count == 0 || marks[count - 1] != code) {
                marks[count] = code;
                entries[count] = k;
                ++count;
            }
        }
    }
    info.marks.resize(count);
    info.markEntries.resize(count);
}

// A run of entries of one procedure in the table: its record and its first
// entry; the run ends where the next begins.
struct EntryRun
{
    std::uint32_t record;
    std::uint32_t first;
};

// Where a procedure's name lists stand in the table of names.
struct NameLists
{
    std::uint32_t paramsFirst = 0;
    std::uint32_t paramsCount = 0;
    std::uint32_t varsFirst = 0;
    std::uint32_t varsCount = 0;
};

// Gives each procedure its parts of the tables of entries and names, and
// files its marks.
void fileEntries(std::vector<TPSFunctionDebugInfo>& infos, std::vector<TPSPositionData>& positions,
                 std::vector<EntryRun>& runs, bool scattered, const std::vector<std::string_view>& names,
                 const std::vector<NameLists>& lists)
{
    if (scattered) {
        // The runs of each procedure one after another, each procedure's in
        // the order read.
        std::vector<std::uint32_t> ends(runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i)
            ends[i] = i + 1 < runs.size() ? runs[i + 1].first : static_cast<std::uint32_t>(positions.size());
        std::vector<std::uint32_t> order(runs.size());
        for (std::uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&runs](std::uint32_t a, std::uint32_t b) { return runs[a].record < runs[b].record; });
        std::vector<TPSPositionData> grouped;
        grouped.reserve(positions.size());
        std::vector<EntryRun> joined;
        for (const std::uint32_t i : order) {
            if (joined.empty() || joined.back().record != runs[i].record)
                joined.push_back({runs[i].record, static_cast<std::uint32_t>(grouped.size())});
            grouped.insert(grouped.end(), positions.begin() + runs[i].first, positions.begin() + ends[i]);
        }
        positions = std::move(grouped);
        runs = std::move(joined);
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::uint32_t end =
            i + 1 < runs.size() ? runs[i + 1].first : static_cast<std::uint32_t>(positions.size());
        infos[runs[i].record].positions =
            std::span<const TPSPositionData>(positions.data() + runs[i].first, end - runs[i].first);
    }
    for (std::size_t i = 0; i < infos.size(); ++i) {
        TPSFunctionDebugInfo& info = infos[i];
        info.paramNames = std::span<const std::string_view>(names.data() + lists[i].paramsFirst, lists[i].paramsCount);
        info.varNames = std::span<const std::string_view>(names.data() + lists[i].varsFirst, lists[i].varsCount);
        fileMarks(info);
    }
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
    positions_.clear();
    names_.clear();
    debugData_.clear();
    unread_ = false;
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
    read();
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
    debugData_.assign(data);
    unread_ = true;
    marksChanged();
}

void TPSCustomDebugExec::readDebugData() const
{
    unread_ = false;
    // A record for each procedure at most, made where it is first named.
    debugInfo_.reserve(ProcCount());
    debugInfoByProc_.reserve(ProcCount());
    // Each entry takes at least its tag, the end of its file name and its
    // five fields: the room for all of them is taken once.
    positions_.reserve(debugData_.size() / (2 + 5 * 4));
    // The entries go to the table as they come, in runs of one procedure:
    // the record of each run and its first entry. The compiler writes each
    // procedure's entries together, one run each; other data is grouped
    // when it is read.
    std::vector<EntryRun> runs;
    std::vector<bool> hasRun; // by record
    bool scattered = false;
    std::vector<NameLists> lists; // by record
    // However the data ends, the procedures get what was read.
    struct Finish
    {
        const TPSCustomDebugExec& exec;
        std::vector<EntryRun>& runs;
        bool& scattered;
        std::vector<NameLists>& lists;
        ~Finish() { fileEntries(exec.debugInfo_, exec.positions_, runs, scattered, exec.names_, lists); }
    } finish{*this, runs, scattered, lists};
    // The parameter and variable names are views into the data kept.
    Reader in(debugData_);
    TPSFunctionDebugInfo* last = nullptr;
    std::uint32_t lastProcNo = 0;
    // The record of a procedure, made at its first mention; none for a
    // number that names no script procedure of the image.
    auto recordOf = [&](std::uint32_t procNo) -> TPSFunctionDebugInfo* {
        const TPSProcRec* proc = GetProcNo(procNo);
        if (!dynamic_cast<const TPSInternalProcRec*>(proc))
            return nullptr;
        lastProcNo = procNo;
        if (last && last->proc == proc)
            return last;
        if (const auto found = debugInfoByProc_.find(proc); found != debugInfoByProc_.end())
            return last = found->second;
        last = &debugInfo_.emplace_back();
        last->proc = proc;
        debugInfoByProc_.emplace(proc, last);
        hasRun.push_back(false);
        lists.emplace_back();
        return last;
    };
    std::unordered_map<std::string_view, const std::string*> files;
    const std::string* lastFile = &TPSNoFileName();
    const TPSFunctionDebugInfo* runOf = nullptr;
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
            // Into the table of names; a list the data ends inside is
            // dropped.
            const auto first = static_cast<std::uint32_t>(names_.size());
            if (!in.u32(procNo) || procNo == dd::NoProc || !in.names(names_)) {
                names_.resize(first);
                return;
            }
            TPSFunctionDebugInfo* info = last && lastProcNo == procNo ? last : recordOf(procNo);
            if (!info) {
                names_.resize(first);
                break;
            }
            NameLists& list = lists[static_cast<std::size_t>(info - debugInfo_.data())];
            const auto count = static_cast<std::uint32_t>(names_.size() - first);
            if (tag == dd::Params) {
                list.paramsFirst = first;
                list.paramsCount = count;
            } else {
                list.varsFirst = first;
                list.varsCount = count;
            }
            break;
        }
        case dd::Line: {
            const std::string* file = lastFile;
            if (!in.sameName(*file)) {
                std::string_view name;
                if (!in.name(name))
                    return;
                auto found = files.find(name);
                if (found == files.end()) {
                    const std::string& kept = fileNames_.emplace_back(name);
                    found = files.emplace(std::string_view(kept), &kept).first;
                }
                file = found->second;
            }
            // The procedure, code position, source position, row and column.
            std::uint32_t fields[5];
            if (!in.u32s(fields) || fields[0] == dd::NoProc)
                return;
            procNo = fields[0];
            lastFile = file;
            TPSFunctionDebugInfo* info = last && lastProcNo == procNo ? last : recordOf(procNo);
            if (!info)
                break;
            if (info != runOf) {
                const auto record = static_cast<std::uint32_t>(info - debugInfo_.data());
                scattered = scattered || hasRun[record];
                hasRun[record] = true;
                runs.push_back({record, static_cast<std::uint32_t>(positions_.size())});
                runOf = info;
            }
            positions_.push_back({*file, fields[1], fields[2], fields[3], fields[4]});
            break;
        }
        default:
            runs.clear();
            lists.clear();
            debugInfo_.clear();
            debugInfoByProc_.clear();
            positions_.clear();
            names_.clear();
            procNames_.clear();
            globalVarNames_.clear();
            fileNames_.clear();
            return;
        }
    }
}

const TPSFunctionDebugInfo* TPSCustomDebugExec::DebugInfoOf(std::uint32_t procNo) const
{
    read();
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
        read();
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
