// Registry files: any bytes either parse or are refused with a message, and
// whatever parses is written back to text that reads as the same tree. The
// size kept while applying edits matches the size measured afterwards.
#include "platform/win/reg_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<RegEdit> edits;
    QString error;
    if (!parseRegText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &edits, &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    RegKey tree;
    RegTreeSize treeSize;
    if (!applyRegEdits(tree, edits, treeSize, &error) || !(measureRegTree(tree) == treeSize))
        std::abort();
    const QByteArray text = writeRegText(tree);
    std::vector<RegEdit> again;
    if (!parseRegText(text, &again, &error))
        std::abort();
    RegKey reread;
    RegTreeSize rereadSize;
    if (!applyRegEdits(reread, again, rereadSize, &error))
        std::abort();
    if (!(reread == tree) || writeRegText(reread) != text)
        std::abort();
    return 0;
}
