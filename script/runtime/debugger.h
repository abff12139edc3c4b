#pragma once
// Executers that know where they are in the source: the compiler's debug
// data is loaded beside the image, and before every instruction the
// debugging executer finds the current file, row and column, reports new
// positions to the host, and pauses and steps on the host's request.

#include "script/runtime/exec.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The name of no file: the main script.
const std::string& TPSNoFileName();

// Where one instruction of a procedure came from. The file name is one of
// the executer's file names, kept while its debug data is loaded.
struct TPSPositionData
{
    std::reference_wrapper<const std::string> fileName = TPSNoFileName();
    std::uint32_t codePosition = 0; // offset in the procedure's bytecode
    std::uint32_t sourcePosition = 0;
    std::uint32_t row = 0;
    std::uint32_t col = 0;
};

// The debug data of one procedure.
struct TPSFunctionDebugInfo
{
    const TPSProcRec* proc = nullptr;
    // Parts of the executer's table of names.
    std::span<const std::string_view> paramNames; // "Result" first for a function
    std::span<const std::string_view> varNames;
    // The procedure's entries in the order of the data, a part of the
    // executer's table of all entries.
    std::span<const TPSPositionData> positions;
    // The code positions that have an entry, ascending, and beside each
    // the first of its entries in positions.
    std::vector<std::uint32_t> marks;
    std::vector<std::uint32_t> markEntries;
};

class TPSCustomDebugExec : public TPSExec
{
public:
    // Takes the compiler's debug data for the loaded image. It is read
    // when first asked for: a compile that is not run, or a run that never
    // looks at positions, does not pay for it. Data that ends early keeps
    // what came before; an unknown record drops it all.
    void LoadDebugInfo(std::string_view data);
    virtual void ResetDebugInfo();
    void Clear() override;

    const std::vector<std::string>& ProcNames() const { return read().procNames_; }
    const std::vector<std::string>& GlobalVarNames() const { return read().globalVarNames_; }
    // The debug data of a procedure, none when it has none.
    const TPSFunctionDebugInfo* DebugInfoOf(std::uint32_t procNo) const;

    // Where the run stands in the source: the position of the last
    // instruction with an entry, or nothing in a procedure without debug
    // data.
    std::uint32_t CurrentPosition() const { return caughtUp().currentSourcePos_; }
    std::uint32_t CurrentRow() const { return caughtUp().currentRow_; }
    std::uint32_t CurrentCol() const { return caughtUp().currentCol_; }
    const std::string& CurrentFile() const { return caughtUp().currentFile_; }

    // The instructions that have entries; every one in a procedure without
    // debug data, where each one clears the position.
    TPSMarks MarksOf(const TPSInternalProcRec& proc) const override;

protected:
    // Takes the position of the current instruction; true when the current
    // procedure has an entry for it.
    bool TranslatePosition();
    // Whether the marks the decoded code holds are older than the debug
    // data: the run then looks the position up before every instruction.
    bool MarksStale() const { return marksStale_; }

    // The tables below are filled from the data when first asked for.
    // One record a procedure that has debug data, in the order of their
    // first mention; never more than the image has procedures, so that the
    // room is taken once and the records do not move.
    mutable std::vector<TPSFunctionDebugInfo> debugInfo_;
    mutable std::unordered_map<const TPSProcRec*, TPSFunctionDebugInfo*> debugInfoByProc_;
    // The entries of every procedure, each procedure's together.
    mutable std::vector<TPSPositionData> positions_;
    // The parameter and variable names of every procedure, views into the
    // debug data, which is kept as loaded.
    mutable std::vector<std::string_view> names_;
    mutable std::vector<std::string> procNames_;
    mutable std::vector<std::string> globalVarNames_;
    // Each file name of the debug data once; the entries refer to them.
    mutable std::deque<std::string> fileNames_;
    std::string debugData_;
    // The position is taken lazily: a run that only notes the marked
    // instructions it passes leaves the last one to be looked up when
    // someone asks.
    mutable const TPSProcRec* lastProc_ = nullptr;
    mutable const TPSFunctionDebugInfo* currentDebugInfo_ = nullptr;
    mutable std::uint32_t currentSourcePos_ = 0;
    mutable std::uint32_t currentRow_ = 0;
    mutable std::uint32_t currentCol_ = 0;
    mutable std::string currentFile_;

private:
    // The executer with its tables filled from the data loaded.
    const TPSCustomDebugExec& read() const
    {
        if (unread_)
            readDebugData();
        return *this;
    }
    void readDebugData() const;
    // Takes the position of the last noted mark, if the run passed one
    // since the position was last taken.
    const TPSCustomDebugExec& caughtUp() const;
    // Takes the position of the instruction at pos of the procedure.
    bool translateAt(const TPSProcRec* proc, std::uint32_t pos) const;
    // The debug data changed: the decoded code's marks go with it.
    void marksChanged();

    mutable std::uint64_t marksSeen_ = 0;
    mutable bool unread_ = false; // data loaded, tables not filled yet
    bool marksStale_ = false;
};

enum class TPSDebugMode : std::uint8_t { Run = 0, StepOver = 1, StepInto = 2, Paused = 3 };

class TPSDebugExec;
using TPSOnIdleCall = void (*)(TPSDebugExec* exec);
using TPSOnSourceLine = void (*)(TPSDebugExec* exec, const std::string& fileName, std::uint32_t position,
                                 std::uint32_t row, std::uint32_t col);

class TPSDebugExec : public TPSCustomDebugExec
{
public:
    // Called over and over while paused; it must let the host change the
    // mode (StepInto, StepOver, Resume, Stop), or the run never goes on.
    TPSOnIdleCall OnIdleCall = nullptr;
    // Called at every new source position.
    TPSOnSourceLine OnSourceLine = nullptr;
    // Off: no positions are looked up and nothing pauses.
    bool DebugEnabled = true;

    bool LoadBytecode(std::string_view image) override;
    void ResetDebugInfo() override;
    void Pause() override;
    void Stop() override;
    void BeforeInstruction() override;

    // Pause at the next new source position.
    void StepInto();
    // Pause at the next new source position in this procedure call or
    // after it returned, running through the calls it makes.
    void StepOver();
    void Resume();
    TPSDebugMode DebugMode() const { return mode_; }

protected:
    // Positions are looked up only while debugging is enabled; whether it is
    // counts from the start of a run.
    bool HasInstructionHook() const override { return DebugEnabled; }
    // Nobody watching (no source-line callback, no step, no pause): the run
    // only notes the instructions that have entries, and the position is
    // looked up when asked for. A step or the callback: called at those
    // instructions. Paused: before every one.
    TPSHookLevel HookLevel() const override;

private:
    // False when the frames on the stack cannot be followed.
    bool sourceChanged();
    // Whether a step over that began at the recorded frame is complete;
    // false when the frames cannot be followed.
    bool stepOverDone(bool& done);

    TPSDebugMode mode_ = TPSDebugMode::Run;
    const TPSInternalProcRec* stepOverProc_ = nullptr;
    std::int32_t stepOverFrame_ = -1;
};
