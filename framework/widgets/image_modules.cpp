#include "framework/widgets/image_modules.h"

// Resources cannot be initialised from inside a namespace.
static void InitGlyphResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace {

// A glyph: its drawing among the program's own, and the name of the icon of
// the desktop's theme that says the same (empty where no standard icon
// does: the steps of one or ten frames, seconds or minutes, for instance).
struct TGlyph
{
    const char* file;
    const char* theme;
};

// Fills a list with the glyphs of a folder, in image-index order. The
// desktop's icon theme draws a glyph where it has the icon; the program's
// own drawing stands in everywhere else.
void AddGlyphs(TCustomImageList& list, const char* folder, std::initializer_list<TGlyph> glyphs)
{
    // The glyphs are compiled into this static library; registering them here
    // also keeps the linker from dropping them.
    InitGlyphResources();
    for (const TGlyph& glyph : glyphs) {
        const QIcon own(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(folder), QLatin1String(glyph.file)));
        list.Add(*glyph.theme ? QIcon::fromTheme(QLatin1String(glyph.theme), own) : own);
    }
}

} // namespace

QIcon ProgramIcon()
{
    InitGlyphResources();
    return QIcon(QStringLiteral(":/icons/kestrova.svg"));
}

TdmMorvekImages::TdmMorvekImages()
{
    AddGlyphs(ilMorvek, "morvek",
              {{"options", "preferences-system"},
               {"about", "help-about"},
               {"help", "help-contents"},
               {"script", ""},
               {"quit", "application-exit"},
               {"new", "document-new"},
               {"open", "document-open"},
               {"paste", "edit-paste"},
               {"save", "document-save"},
               {"save-as", "document-save-as"},
               {"close", ""},
               {"parent-folder", "folder-open"},
               {"ouvrir", "folder"},
               {"close-page", "window-close"},
               {"execute", "system-run"},
               {"start-macro", "media-record"},
               {"stop-macro", "media-playback-stop"},
               {"email", "mail-message-new"},
               {"home-page", "go-home"}});
    Q_ASSERT(ilMorvek.Count() == MorvekImage::Count);
}

TdmKvPackImages::TdmKvPackImages()
{
    AddGlyphs(ilKvPack, "kvpack",
              {{"back-minute", ""},
               {"back-second", ""},
               {"back-frame", ""},
               {"forward-frame", ""},
               {"forward-second", ""},
               {"forward-minute", ""},
               {"end", "media-skip-forward"},
               {"start", "media-skip-backward"},
               {"pause", "media-playback-pause"},
               {"play", "media-playback-start"},
               {"full-screen", "view-fullscreen"},
               {"flip-vertical", "object-flip-vertical"},
               {"flip-horizontal", "object-flip-horizontal"},
               {"external-preview", "window-new"},
               {"keep-ratio", ""},
               {"inlay", "insert-text"},
               {"anti-aliasing", ""},
               {"sound-off", "audio-volume-muted"},
               {"sound-on", "audio-volume-high"},
               {"volume-up", ""},
               {"volume-down", ""},
               {"next-decoder", ""},
               {"grab", "camera-photo"},
               {"copy", "edit-copy"},
               {"thumbnail", "image-x-generic"},
               {"picture-names", ""},
               {"dv-date", "x-office-calendar"},
               {"inlay-settings", ""},
               {"intervallo", ""},
               {"sliders", ""},
               {"no-audio", ""},
               {"bad-audio", ""},
               {"error-audio", ""}});
    Q_ASSERT(ilKvPack.Count() == KvPackImage::Count);
}
