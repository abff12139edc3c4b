#include "app/window_glyphs.h"

#include "app/main_form.h"

#include <utility>

TWindowGlyphs::TWindowGlyphs(TMainForm& form) : QObject(&form)
{
    TCustomImageList& kvpack = FKvPack->ilKvPack;
    const auto glyphs = [](std::initializer_list<std::pair<TTntCustomAction*, int>> actions) {
        for (const auto& [action, image] : actions) {
            // A check action shows the same glyph in both states.
            if (auto* check = qobject_cast<TCheckAction*>(action)) {
                check->SetTrueImageIndex(image);
                check->SetFalseImageIndex(image);
            } else {
                action->SetImageIndex(image);
            }
        }
    };

    form.gpal->SetImages(&kvpack);
    const TMainActions& a = form.A;
    glyphs({{a.naGrab, KvPackImage::Grab},
            {a.naCopy, KvPackImage::Copy},
            {a.naShowImagette, KvPackImage::Thumbnail},
            {a.naShowSaveImages, KvPackImage::PictureNames},
            {a.naShowDVIncrust, KvPackImage::DVDate},
            {a.naShowIncrust, KvPackImage::InlaySettings},
            {a.caIntervalloShow, KvPackImage::Intervallo},
            {a.caSliders, KvPackImage::Sliders}});

    form.vidman->SetImages(&kvpack);
    TVideoMan& video = *form.vidman;
    glyphs({{video.caFullscreen, KvPackImage::FullScreen},
            {video.caExternalPreview, KvPackImage::ExternalPreview},
            {video.caFlipVertical, KvPackImage::FlipVertical},
            {video.caFlipHorizontal, KvPackImage::FlipHorizontal},
            {video.caKeepAspectratio, KvPackImage::KeepAspect},
            {video.caInsertTextOn, KvPackImage::Inlay},
            {video.caInsertAntiAliasing, KvPackImage::AntiAliasing}});

    SetFileGlyphs(*form.ficman, FMorvek->ilMorvek);
}
