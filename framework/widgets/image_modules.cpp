#include "framework/widgets/image_modules.h"

// Resources cannot be initialised from inside a namespace.
static void InitGlyphResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace {

// Fills a list with the glyph files of a folder, in image-index order.
void AddGlyphs(TCustomImageList& list, const char* folder, std::initializer_list<const char*> names)
{
    // The glyphs are compiled into this static library; registering them here
    // also keeps the linker from dropping them.
    InitGlyphResources();
    for (const char* name : names)
        list.Add(QIcon(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(folder), QLatin1String(name))));
}

} // namespace

TdmMorvekImages::TdmMorvekImages()
{
    AddGlyphs(ilMorvek, "morvek",
              {"options", "about", "help", "script", "quit", "new", "open", "paste", "save", "save-as", "close",
               "parent-folder", "ouvrir", "close-page", "execute", "start-macro", "stop-macro", "email", "home-page"});
    Q_ASSERT(ilMorvek.Count() == MorvekImage::Count);
}

TdmKvPackImages::TdmKvPackImages()
{
    AddGlyphs(ilKvPack, "kvpack",
              {"back-minute",
               "back-second",
               "back-frame",
               "forward-frame",
               "forward-second",
               "forward-minute",
               "end",
               "start",
               "pause",
               "play",
               "full-screen",
               "flip-vertical",
               "flip-horizontal",
               "external-preview",
               "keep-ratio",
               "inlay",
               "anti-aliasing",
               "sound-off",
               "sound-on",
               "volume-up",
               "volume-down",
               "next-decoder",
               "grab",
               "copy",
               "thumbnail",
               "picture-names",
               "dv-date",
               "inlay-settings",
               "intervallo",
               "sliders",
               "no-audio",
               "bad-audio",
               "error-audio"});
    Q_ASSERT(ilKvPack.Count() == KvPackImage::Count);
}
