// The script interpreter against the Lua 5.4 interpreter (the lua5.4 tool),
// on the same programs written in each language:
//  - fib: recursive Fibonacci of 27;
//  - loop: 10,000,000 steps of an integer sum with a mod;
//  - isort: insertion sort of 3,000 pseudo-random integers in an array;
//  - qsort: quicksort of 100,000 pseudo-random integers in an array;
//  - concat: a 1,000,000-byte string built from 200,000 appended pieces
//    (Lua strings cannot grow, so the Lua side appends the pieces to a
//    table and joins them once, its own way of building a string).
// Each program is compiled once per side; only runs are timed. Every round
// runs each program on the runtime's executer, through the script component
// without debug data (as the program's host runs scripts), through the
// component with debug data (its default, which tracks source positions)
// and in Lua, the order turning from round to round, so that whatever else
// the machine does hits all sides alike. Every run's result must equal
// Lua's, and results count the work done (sort moves and swaps, string
// length). Times are the process's CPU time around one run (Lua measures
// its own with os.clock); the table gives medians and the ratios of the
// medians to Lua's.
//
// Usage: bench_script_lua [--rounds N] [--only NAME] [--side runtime|component|debug]
// (--side leaves our other sides out, e.g. to profile one.)
// Pin it to one core for figures: taskset -c 2 build/bench/bench_script_lua
// The Lua interpreter is lua5.4 from the PATH, or $KESTROVA_LUA.

#include "script/common/utils.h"
#include "script/compiler/compiler.h"
#include "script/component/script_component.h"
#include "script/runtime/exec.h"
#include "script/runtime/native_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Program
{
    const char* name;
    const char* work; // what the result's first number counts, or the fixed work
    std::string pascal;
    std::string lua; // a chunk that returns the function to time
};

// What the two sorts share: the array type, its pseudo-random filling and
// the checksum of its values.
const std::string kSortPascal = R"(
type
  TIntArray = array of Integer;

procedure Fill(var a: TIntArray; n: Integer);
var
  i, seed: Integer;
begin
  SetLength(a, n);
  seed := 1;
  for i := 0 to n - 1 do begin
    seed := (seed * 1021 + 7) mod 1048573;
    a[i] := seed;
  end;
end;

function Checksum(var a: TIntArray; n: Integer): Integer;
var
  i, c: Integer;
begin
  c := 0;
  for i := 0 to n - 1 do
    c := (c * 31 + a[i]) mod 1000003;
  Result := c;
end;
)";
const std::string kSortLua = R"(
local function fill(n)
  local a = {}
  local seed = 1
  for i = 1, n do
    seed = (seed * 1021 + 7) % 1048573
    a[i] = seed
  end
  return a
end

local function checksum(a, n)
  local c = 0
  for i = 1, n do
    c = (c * 31 + a[i]) % 1000003
  end
  return c
end
)";

// The same algorithms, statement for statement. Pseudo-random numbers come
// from x := (x * 1021 + 7) mod 1048573, which stays within 31 bits; arrays
// are 0-based in the script and 1-based in Lua.
const std::array kPrograms{
    Program{"fib", "635,621 calls", R"(
function Fib(n: Integer): Integer;
begin
  if n < 2 then
    Result := n
  else
    Result := Fib(n - 1) + Fib(n - 2);
end;

begin
  Report(IntToStr(Fib(27)));
end.
)",
            R"(
local function fib(n)
  if n < 2 then
    return n
  end
  return fib(n - 1) + fib(n - 2)
end
return function() return tostring(fib(27)) end
)"},
    Program{"loop", "10,000,000 steps", R"(
function Sum(n: Integer): Integer;
var
  i, s: Integer;
begin
  s := 0;
  for i := 1 to n do
    s := s + i mod 7 + 1;
  Result := s;
end;

begin
  Report(IntToStr(Sum(10000000)));
end.
)",
            R"(
local function sum(n)
  local s = 0
  for i = 1, n do
    s = s + i % 7 + 1
  end
  return s
end
return function() return tostring(sum(10000000)) end
)"},
    Program{"isort", "moves", kSortPascal + R"(
function Sort(n: Integer): String;
var
  a: TIntArray;
  i, j, x, moves: Integer;
begin
  Fill(a, n);
  moves := 0;
  for i := 1 to n - 1 do begin
    x := a[i];
    j := i - 1;
    while j >= 0 do begin
      if a[j] <= x then
        break;
      a[j + 1] := a[j];
      j := j - 1;
    end;
    a[j + 1] := x;
    moves := moves + (i - 1 - j);
  end;
  Result := IntToStr(moves) + ' ' + IntToStr(Checksum(a, n)) + ' ' + IntToStr(a[0]) + ' ' + IntToStr(a[n - 1]);
end;

begin
  Report(Sort(3000));
end.
)",
            kSortLua + R"(
local function sort(n)
  local a = fill(n)
  local moves = 0
  for i = 2, n do
    local x = a[i]
    local j = i - 1
    while j >= 1 do
      if a[j] <= x then
        break
      end
      a[j + 1] = a[j]
      j = j - 1
    end
    a[j + 1] = x
    moves = moves + (i - 1 - j)
  end
  return moves .. " " .. checksum(a, n) .. " " .. a[1] .. " " .. a[n]
end
return function() return sort(3000) end
)"},
    Program{"qsort", "swaps", kSortPascal + R"(
function QSort(var a: TIntArray; lo, hi: Integer): Integer;
var
  i, j, p, t, swaps: Integer;
begin
  i := lo;
  j := hi;
  p := a[(lo + hi) div 2];
  swaps := 0;
  repeat
    while a[i] < p do
      i := i + 1;
    while a[j] > p do
      j := j - 1;
    if i <= j then begin
      t := a[i];
      a[i] := a[j];
      a[j] := t;
      i := i + 1;
      j := j - 1;
      swaps := swaps + 1;
    end;
  until i > j;
  if lo < j then
    swaps := swaps + QSort(a, lo, j);
  if i < hi then
    swaps := swaps + QSort(a, i, hi);
  Result := swaps;
end;

function Sort(n: Integer): String;
var
  a: TIntArray;
  swaps: Integer;
begin
  Fill(a, n);
  swaps := QSort(a, 0, n - 1);
  Result := IntToStr(swaps) + ' ' + IntToStr(Checksum(a, n)) + ' ' + IntToStr(a[0]) + ' ' + IntToStr(a[n - 1]);
end;

begin
  Report(Sort(100000));
end.
)",
            kSortLua + R"(
local function qsort(a, lo, hi)
  local i = lo
  local j = hi
  local p = a[(lo + hi) // 2]
  local swaps = 0
  repeat
    while a[i] < p do
      i = i + 1
    end
    while a[j] > p do
      j = j - 1
    end
    if i <= j then
      local t = a[i]
      a[i] = a[j]
      a[j] = t
      i = i + 1
      j = j - 1
      swaps = swaps + 1
    end
  until i > j
  if lo < j then
    swaps = swaps + qsort(a, lo, j)
  end
  if i < hi then
    swaps = swaps + qsort(a, i, hi)
  end
  return swaps
end

local function sort(n)
  local a = fill(n)
  local swaps = qsort(a, 1, n)
  return swaps .. " " .. checksum(a, n) .. " " .. a[1] .. " " .. a[n]
end
return function() return sort(100000) end
)"},
    Program{"concat", "bytes", R"(
function Build(n: Integer): String;
var
  s: String;
  i: Integer;
begin
  s := '';
  for i := 1 to n do
    s := s + 'abcde';
  Result := IntToStr(Length(s)) + ' ' + Copy(s, Length(s) - 4, 5);
end;

begin
  Report(Build(200000));
end.
)",
            R"(
local function build(n)
  local t = {}
  for i = 1, n do
    t[#t + 1] = "abcde"
  end
  local s = table.concat(t)
  return #s .. " " .. s:sub(#s - 4)
end
return function() return build(200000) end
)"},
};

// What every Lua run goes through: the programs are loaded (compiled) once;
// then each line names a program, which runs after a full collection and
// answers with its result and its CPU time.
constexpr const char* kLuaDriver = R"(
local dir = ...
local programs = {}
for line in io.lines(dir .. "/names") do
  programs[line] = assert(loadfile(dir .. "/" .. line .. ".lua"))()
end
io.stdout:setvbuf("no")
for name in io.stdin:lines() do
  local run = programs[name]
  collectgarbage()
  local t0 = os.clock()
  local result = run()
  local t = os.clock() - t0
  io.stdout:write(string.format("%s\t%.9f\n", result, t))
end
)";

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Run
{
    std::string result;
    double seconds = 0;
};

// The lua5.4 tool running the driver, fed through pipes.
class LuaSide
{
public:
    explicit LuaSide(const std::vector<const Program*>& programs)
    {
        char pattern[] = "/tmp/kestrova-lua-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("no temporary folder");
        dir_ = pattern;
        std::ofstream(dir_ / "driver.lua") << kLuaDriver;
        std::ofstream names(dir_ / "names");
        for (const Program* p : programs) {
            std::ofstream(dir_ / (std::string(p->name) + ".lua")) << p->lua;
            names << p->name << "\n";
        }
        names.close();

        int toLua[2], fromLua[2];
        if (pipe(toLua) != 0 || pipe(fromLua) != 0)
            throw std::runtime_error("no pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toLua[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromLua[1], 1);
        posix_spawn_file_actions_addclose(&actions, toLua[1]);
        posix_spawn_file_actions_addclose(&actions, fromLua[0]);
        const char* env = std::getenv("KESTROVA_LUA");
        std::string tool = env && *env ? env : "lua5.4";
        std::string driver = (dir_ / "driver.lua").string();
        std::string folder = dir_.string();
        char* argv[] = {tool.data(), driver.data(), folder.data(), nullptr};
        const int error = posix_spawnp(&pid_, tool.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toLua[0]);
        close(fromLua[1]);
        if (error != 0)
            throw std::runtime_error(tool + " cannot be started: " + std::strerror(error) +
                                     " (install it with scripts/deps.sh)");
        in_ = fdopen(toLua[1], "w");
        out_ = fdopen(fromLua[0], "r");
    }

    ~LuaSide()
    {
        if (in_)
            std::fclose(in_);
        if (out_)
            std::fclose(out_);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    Run run(const Program& program)
    {
        std::fprintf(in_, "%s\n", program.name);
        std::fflush(in_);
        char* line = nullptr;
        std::size_t size = 0;
        const ssize_t got = getline(&line, &size, out_);
        std::string text = got > 0 ? std::string(line, std::size_t(got)) : std::string();
        std::free(line);
        const std::size_t tab = text.find('\t');
        if (tab == std::string::npos)
            throw std::runtime_error("lua5.4 gave no result for " + std::string(program.name));
        return {text.substr(0, tab), std::strtod(text.c_str() + tab + 1, nullptr)};
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::FILE* in_ = nullptr;
    std::FILE* out_ = nullptr;
};

constexpr const char* kReport = "procedure Report(const s: String);";

// A program compiled once and loaded into a plain executer.
class RuntimeSide
{
public:
    explicit RuntimeSide(const Program& program)
    {
        compiler_.OnUses = [](TPSPascalCompiler* sender, const std::string& unit) {
            if (unit == "SYSTEM")
                sender->AddFunction(kReport);
            return true;
        };
        if (!compiler_.Compile(program.pascal))
            throw std::runtime_error(std::string(program.name) + " does not compile: " + messages());
        std::string image;
        compiler_.GetOutput(image);
        RegisterNativeFunction(exec_, kReport, [this](const std::string& s) { result_ = s; });
        if (!exec_.LoadBytecode(image))
            throw std::runtime_error(std::string(program.name) + " does not load: " + exec_.ExceptionText());
    }

    Run run()
    {
        result_.clear();
        const double start = cpuSeconds();
        const bool ok = exec_.ExecuteCode();
        const double seconds = cpuSeconds() - start;
        if (!ok)
            return {"runtime error: " + ErrorCodeToText(exec_.ExceptionCode(), exec_.ExceptionText()), seconds};
        return {result_, seconds};
    }

private:
    std::string messages() const
    {
        std::string out;
        for (std::size_t i = 0; i < compiler_.GetMessageCount(); ++i)
            out += compiler_.GetMessage(i)->MessageToString() + "\n";
        return out;
    }

    TPSPascalCompiler compiler_;
    TPSExec exec_;
    std::string result_;
};

// A program compiled once by the script component, run without debug data
// as a host that times scripts would, or with it, as the component does
// unless told otherwise.
class ComponentSide
{
public:
    ComponentSide(const Program& program, bool debug)
    {
        script_.UseDebugInfo = debug;
        script_.OnCompile = [this](TPSScript* sender) { sender->AddMethod(this, &ComponentSide::report, kReport); };
        script_.SetScriptText(program.pascal);
        if (!script_.Compile())
            throw std::runtime_error(std::string(program.name) + " does not compile in the component");
    }

    Run run()
    {
        result_.clear();
        const double start = cpuSeconds();
        const bool ok = script_.Execute();
        const double seconds = cpuSeconds() - start;
        if (!ok)
            return {"runtime error: " + script_.RuntimeErrorText(), seconds};
        return {result_, seconds};
    }

private:
    void report(const std::string& s) { result_ = s; }

    TPSScript script_;
    std::string result_;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The work a result states: its first number for the programs that count
// their own, else the fixed work.
std::string workOf(const Program& program, const std::string& result)
{
    const std::string what = program.work;
    if (what != "moves" && what != "swaps" && what != "bytes")
        return what;
    std::string number = result.substr(0, result.find(' '));
    for (std::size_t i = number.size(); i > 3; i -= 3)
        number.insert(i - 3, ",");
    return number + " " + what;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    std::string only, side;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--side" && i + 1 < argc &&
                 (argv[i + 1] == std::string("runtime") || argv[i + 1] == std::string("component") ||
                  argv[i + 1] == std::string("debug")))
            side = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--rounds N] [--only NAME] [--side runtime|component|debug]\n", argv[0]);
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);

    std::vector<const Program*> programs;
    for (const Program& p : kPrograms)
        if (only.empty() || only == p.name)
            programs.push_back(&p);
    if (programs.empty()) {
        std::fprintf(stderr, "no program named %s\n", only.c_str());
        return 2;
    }

    try {
        LuaSide lua(programs);
        std::vector<std::unique_ptr<RuntimeSide>> runtimes;
        std::vector<std::unique_ptr<ComponentSide>> components, debugged;
        for (const Program* p : programs) {
            runtimes.push_back(std::make_unique<RuntimeSide>(*p));
            components.push_back(std::make_unique<ComponentSide>(*p, false));
            debugged.push_back(std::make_unique<ComponentSide>(*p, true));
        }

        enum Side { Runtime, Component, Debug, Lua, SideCount };
        const char* const sideNames[] = {"runtime", "component", "debug", "lua"};
        std::vector<std::array<std::vector<double>, SideCount>> times(programs.size());
        std::vector<std::string> results(programs.size());
        int mismatches = 0;
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t k = 0; k < programs.size(); ++k) {
                const Program& p = *programs[k];
                std::array<Run, SideCount> runs;
                for (int n = 0; n < SideCount; ++n) {
                    const int s = (round + n) % SideCount;
                    if (s != Lua && !side.empty() && side != sideNames[s])
                        continue;
                    runs[s] = s == Runtime     ? runtimes[k]->run()
                              : s == Component ? components[k]->run()
                              : s == Debug     ? debugged[k]->run()
                                               : lua.run(p);
                    times[k][s].push_back(runs[s].seconds);
                }
                results[k] = runs[Lua].result;
                for (int s : {Runtime, Component, Debug}) {
                    if (times[k][s].empty())
                        continue;
                    if (runs[s].result != runs[Lua].result) {
                        ++mismatches;
                        std::fprintf(stderr, "%s round %d: %s gave \"%s\", Lua \"%s\"\n", p.name, round + 1,
                                     sideNames[s], runs[s].result.c_str(), runs[Lua].result.c_str());
                    }
                }
            }
        }

        std::printf("medians of %d rounds, CPU seconds per run (compile excluded)\n", rounds);
        std::printf("%-7s %-20s %9s %9s %9s %9s %8s %8s %8s %9s  %s\n", "program", "work (each side)", "runtime",
                    "component", "debug", "lua5.4", "rt/lua", "comp/lua", "dbg/lua", "dbg/comp", "result");
        for (std::size_t k = 0; k < programs.size(); ++k) {
            const double rt = median(times[k][Runtime]);
            const double comp = median(times[k][Component]);
            const double dbg = median(times[k][Debug]);
            const double lu = median(times[k][Lua]);
            std::printf("%-7s %-20s %9.4f %9.4f %9.4f %9.4f %8.2f %8.2f %8.2f %9.2f  %s\n", programs[k]->name,
                        workOf(*programs[k], results[k]).c_str(), rt, comp, dbg, lu, rt / lu, comp / lu, dbg / lu,
                        comp > 0 ? dbg / comp : 0.0, results[k].c_str());
        }
        if (mismatches) {
            std::fprintf(stderr, "%d runs disagreed with Lua\n", mismatches);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
