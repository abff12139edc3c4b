// Preprocesses arbitrary files and checks that the output is the sources laid
// side by side: every stretch holds its file's bytes or blanks in their place,
// and every output position maps back into a file.
//
// Input: files separated by the byte 0x01. The first is "main"; the others
// are "1", "2", ...; {$I main} includes the main file itself.

#include "script/compiler/compiler_messages.h"
#include "script/compiler/pascal_parser.h"
#include "script/compiler/preprocessor.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::map<std::string, std::string> files;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    for (int index = 0; from <= input.size(); ++index) {
        const std::size_t end = std::min(input.find('\x01', from), input.size());
        files[index == 0 ? "main" : std::to_string(index)] = std::string(input.substr(from, end - from));
        from = end + 1;
    }

    TPSPreProcessor pp;
    pp.MaxOutputSize = 1 << 20;
    pp.MaxIncludes = 1000;
    pp.OnNeedFile = [&files](TPSPreProcessor&, const std::string&, std::string& fileName, std::string& content) {
        const auto it = files.find(fileName);
        if (it == files.end())
            return false;
        content = it->second;
        return true;
    };
    std::string output;
    try {
        output = pp.PreProcess("main", files["main"]);
    } catch (const EPSPreProcessor& e) {
        if (!e.FileName.empty() && !files.contains(e.FileName))
            std::abort();
        return 0;
    }

    std::uint32_t covered = 0;
    for (std::size_t i = 0; i < pp.LineInfo.Count(); ++i) {
        const TPSLineInfo& info = pp.LineInfo[i];
        const std::string& source = files.at(info.FileName);
        if (info.StartPos != covered || info.EndPos < info.StartPos ||
            info.FileOffset + (info.EndPos - info.StartPos) > source.size())
            std::abort();
        for (std::uint32_t p = info.StartPos; p < info.EndPos; ++p) {
            const char out = output[p], in = source[info.FileOffset + (p - info.StartPos)];
            if (out != in && (out != ' ' || in == '\r' || in == '\n'))
                std::abort();
        }
        covered = info.EndPos;
    }
    if (covered != output.size())
        std::abort();

    const std::size_t step = output.size() < 4096 ? 1 : output.size() / 997;
    for (std::size_t p = 0; p <= output.size(); p += step) {
        TPSLineInfoResults r;
        if (!pp.LineInfo.GetLineInfo("", static_cast<std::uint32_t>(p), r) || r.Row < 1 || r.Col < 1 ||
            r.Pos > files.at(r.Name).size())
            std::abort();
    }

    // A scan error in the joined text is placed in one of the files.
    TPSPascalParser parser;
    TPSPascalCompilerError error(TPSCompilerErrorCode::SyntaxError);
    bool failed = false;
    parser.SetOnParserError([&](TPSPascalParser& p, TPSParserError) {
        error.SetParserPos(p);
        failed = true;
    });
    parser.SetText(output);
    while (parser.CurrTokenId() != TPSPasToken::EndOfText)
        parser.Next();
    if (failed) {
        pp.AdjustMessage(error);
        if (!files.contains(error.ModuleName))
            std::abort();
    }
    return 0;
}
