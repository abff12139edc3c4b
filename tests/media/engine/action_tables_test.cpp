// The actions of the playback managers as the program offers them: for each
// action of each manager, in the order of its list, its identity, kind,
// script name, shortcut, storage, captions, hints, picture and default.

#include "framework/widgets/image_modules.h"
#include "media/engine/audio_man.h"
#include "media/engine/nav_man.h"
#include "media/engine/video_man.h"

#include <QKeySequence>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The picture is not the table's to say.
constexpr int kAnyImage = -2;

struct Row
{
    const char* id;
    const char* kind;
    const char* script;
    QKeySequence key;
    bool applyWhenLoad;
    bool includePrefs;
    // A check action's captions and hints for True, then for False; any
    // other action's caption and hint in the first two.
    const char* caption;
    const char* hint;
    const char* falseCaption = "";
    const char* falseHint = "";
    // A command's picture, or a check action's for True, then for False.
    int image = -1;
    int falseImage = -1;
};

// Every action of `list`, in its order, against the rows.
void expectActions(const TTntActionList& list, const std::vector<Row>& rows)
{
    const QList<TTntCustomAction*>& actions = list.ActionsInOrder();
    ASSERT_EQ(actions.size(), qsizetype(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.id);
        auto* action = qobject_cast<TCustomAbstractAction*>(actions[qsizetype(i)]);
        ASSERT_TRUE(action);
        EXPECT_EQ(action->InternalId, row.id);
        EXPECT_STREQ(action->metaObject()->className(), row.kind);
        EXPECT_EQ(action->ScriptName, row.script);
        EXPECT_EQ(action->ShortCut(), row.key);
        EXPECT_TRUE(action->Switch.isEmpty());
        EXPECT_EQ(action->Category(), "internal");
        EXPECT_EQ(action->ApplyWhenLoad, row.applyWhenLoad);
        EXPECT_EQ(action->IncludePrefs, row.includePrefs);
        if (const auto* check = qobject_cast<const TCheckAction*>(action)) {
            EXPECT_EQ(check->TrueCaption(), row.caption);
            EXPECT_EQ(check->TrueHint(), row.hint);
            EXPECT_EQ(check->FalseCaption(), row.falseCaption);
            EXPECT_EQ(check->FalseHint(), row.falseHint);
            if (row.image != kAnyImage) {
                EXPECT_EQ(check->TrueImageIndex(), row.image);
                EXPECT_EQ(check->FalseImageIndex(), row.falseImage);
            }
        } else {
            EXPECT_EQ(action->Caption(), row.caption);
            EXPECT_EQ(action->Hint(), row.hint);
            if (row.image != kAnyImage) {
                EXPECT_EQ(action->ImageIndex(), row.image);
            }
        }
    }
}

QKeySequence keys(QKeyCombination key)
{
    return QKeySequence(key);
}

constexpr auto Ctrl = Qt::CTRL;
constexpr auto Shift = Qt::SHIFT;
constexpr auto Alt = Qt::ALT;

} // namespace

TEST(ActionTables, Navigation)
{
    namespace K = KvPackImage;
    std::unique_ptr<TNavMan> nav(TKvActionComponent::Create<TNavMan>(nullptr));
    const char* na = "TNopeAction";
    const std::vector<Row> rows{
        {"caPlay", "TCheckAction", "Play", keys(Ctrl | Qt::Key_Space), false, true, "Pause", "Set Pause", "Play",
         "Play the video and/or audio stream", K::Pause, K::Play},
        {"naReculeDebut", na, "ReculeDebut", keys(Ctrl | Shift | Qt::Key_Home), false, true, "Start",
         "Go back to start", "", "", K::Start},
        {"naReculeTrack", na, "ReculeTrack", keys(Ctrl | Qt::Key_Home), false, true, "",
         "Go back to the previous scene\r\nor keep pressing Shift to go back to Start", "", "", K::Start},
        {"naRecule10Minutes", na, "Recule10Minutes", keys(Ctrl | Shift | Qt::Key_PageDown), false, true, "",
         "Go back ten minutes"},
        {"naReculeMinute", na, "ReculeMinute", keys(Ctrl | Qt::Key_PageDown), false, true, "", "Go back one minute", "",
         "", K::BackMinute},
        {"naReculeHigh", na, "ReculeHigh", QKeySequence(), false, true, "",
         "Go back one minute\r\nor hold Shift to Go back 10 minutes", "", "", K::BackMinute},
        {"naRecule10Secondes", na, "Recule10Secondes", keys(Ctrl | Shift | Qt::Key_Down), false, true, "",
         "Go back ten seconds"},
        {"naReculeSeconde", na, "ReculeSeconde", keys(Ctrl | Qt::Key_Down), false, true, "", "Go back one second", "",
         "", K::BackSecond},
        {"naReculeMedium", na, "ReculeMedium", QKeySequence(), false, true, "",
         "Go back one second\r\nor hold Shift to Go back ten seconds", "", "", K::BackSecond},
        {"naRecule10Frames", na, "Recule10Frames", keys(Ctrl | Shift | Qt::Key_Left), false, true, "",
         "Go back ten frames"},
        {"naReculeFrame", na, "ReculeFrame", keys(Ctrl | Qt::Key_Left), false, true, "", "Go back one frame", "", "",
         K::BackFrame},
        {"naReculeLow", na, "ReculeLow", QKeySequence(), false, true, "",
         "Go back one frame\r\nor hold Shift to Go back ten frames", "", "", K::BackFrame},
        {"naAvanceFin", na, "AvanceFin", keys(Ctrl | Shift | Qt::Key_End), false, true, "End", "Click to go to the end",
         "", "", K::End},
        {"naAvanceTrack", na, "AvanceTrack", keys(Ctrl | Qt::Key_End), false, true, "Next scene",
         "Click to advance to the next Scene.\r\nIf you hold Shift you will advance to the End", "", "", K::End},
        {"naAvance10Minutes", na, "Avance10Minutes", keys(Ctrl | Shift | Qt::Key_PageUp), false, true,
         "Go forward ten minutes", "Click to skip forward ten minutes"},
        {"naAvanceMinute", na, "AvanceMinute", keys(Ctrl | Qt::Key_PageUp), false, true, "Go forward one minute",
         "Click to skip forward one minute", "", "", K::ForwardMinute},
        {"naAvanceHigh", na, "AvanceHigh", QKeySequence(), false, true, "Go forward one or ten minutes",
         "Click to go forward one minute.\r\nIf you hold Shift you will advance ten minutes", "", "", K::ForwardMinute},
        {"naAvance10Secondes", na, "Avance10Secondes", keys(Ctrl | Shift | Qt::Key_Up), false, true,
         "Go forward ten seconds", "Click to skip forward ten seconds"},
        {"naAvanceSeconde", na, "AvanceSeconde", keys(Ctrl | Qt::Key_Up), false, true, "Go forward one second",
         "Click to go forward one second", "", "", K::ForwardSecond},
        {"naAvanceMedium", na, "AvanceMedium", QKeySequence(), false, true, "Go forward one or ten seconds",
         "Click to go forward one second.\r\nIf you hold Shift you will advance ten seconds", "", "", K::ForwardSecond},
        {"naAvance10Frames", na, "Avance10Frames", keys(Ctrl | Shift | Qt::Key_Right), false, true,
         "Go forward ten frames", "Click to move forward ten frames"},
        {"naAvanceFrame", na, "AvanceFrame", keys(Ctrl | Qt::Key_Right), false, true, "Move forward one frame",
         "Click to move forward one frame", "", "", K::ForwardFrame},
        {"naAvanceLow", na, "AvanceLow", QKeySequence(), false, true, "Go forward one or ten frames",
         "Click to move forward one frame.\r\nIf you hold Shift you will advance ten frames", "", "", K::ForwardFrame},
        {"caVitesseCompatible", "TCheckAction", "VitesseCompatible", keys(Ctrl | Qt::Key_B), true, true,
         "Compatible Speed", "Play the video at maximum speed compatible with CPU resources", "Normal Speed",
         "Play the video at normal speed"},
        {"caSeekPrecision", "TCheckAction", "SeekPrecision", QKeySequence(), true, true, "Normal navigation",
         "Click to remove precise navigation", "Precise Navigation", "Click to activate precise navigation"},
        {"iaSeekPrepos", "TIntegerAction", "SeekPrepos", QKeySequence(), true, true, "SeekPrepos", "SeekPrepos"},
        {"waStrPosition", "TWidestringAction", "Position", QKeySequence(), false, true, "StrPosition",
         "Select the position in hh:mm:ss:ff and type Enter"},
    };
    expectActions(*nav, rows);
    EXPECT_FALSE(nav->caPlay->DefaultValue());
    EXPECT_FALSE(nav->caVitesseCompatible->DefaultValue());
    EXPECT_FALSE(nav->caSeekPrecision->DefaultValue());
    EXPECT_EQ(nav->iaSeekPrepos->DefaultValue(), 1000);
    EXPECT_EQ(nav->waStrPosition->DefaultValue(), "0:00:00:00");
}

TEST(ActionTables, RendererAndVideo)
{
    std::unique_ptr<TVideoMan> video(TKvActionComponent::Create<TVideoMan>(nullptr));
    const char* ca = "TCheckAction";
    const char* ia = "TIntegerAction";
    const char* color = "TColorAction";
    const std::vector<Row> rows{
        {"caFullscreen", ca, "FullScreen", keys(Alt | Qt::Key_Return), false, false, "Leave full screen",
         "Click to leave the full screen mode", "Fullscreen",
         "Click to display the video in full screen\r\nTo leave full screen, type again ALT+Enter"},
        {"caFlipVertical", ca, "FlipVertical", keys(Ctrl | Alt | Qt::Key_V), false, false, "Vertical Flip",
         "Click to deactivate the Vertical Flip", "Flip Vertical", "Click to activate Vertical Flip"},
        {"caFlipHorizontal", ca, "FlipHorizontal", keys(Ctrl | Alt | Qt::Key_H), false, false, "Flip Horizontal",
         "Click to deactivate Horizontal Flip", "Flip Horizontal", "Click to activate Horizontal Flip"},
        {"caExternalPreview", ca, "ExternalPreview", keys(Alt | Qt::Key_Backspace), true, true,
         "Close the external Window", "Click to close the external window and play the video in an embedded window",
         "Open the external window", "Click to play the video in an external window"},
        {"caKeepAspectratio", ca, "KeepAspectRatio", keys(Alt | Qt::Key_R), false, true, "Adjust Ratio Aspect",
         "Click to keep the ratio aspect", "Keep Ratio Aspect", "Click to adjust the ratio aspect"},
        {"iaFullBorderWidth", ia, "FullBorderWidth", QKeySequence(), false, true, "FullBorderWidth", ""},
        {"iaInsertAlignLines", ia, "AlignLines", QKeySequence(), true, true, "InsertAlignLines", ""},
        {"iaWinBorderWidth", ia, "WinBorderWidth", QKeySequence(), false, true, "WinBorderWidth", ""},
        {"iaBorderColor", color, "BorderColor", QKeySequence(), false, true, "BorderColor", ""},
        {"iaBackColor", color, "BackColor", QKeySequence(), true, true, "BackColor", ""},
        {"caInsertTextOn", ca, "InsertTextOn", keys(Ctrl | Qt::Key_I), true, true, "Disable Inlay",
         "Click to deactivate inlaying", "Enable inlay", "Click to activate inlaying"},
        {"iaInsertBorderWidth", ia, "InsertBorderWidth", QKeySequence(), true, true, "InsertBorderWidth", ""},
        {"iaInsertBorderColor", color, "InsertBorderColor", QKeySequence(), true, true, "InsertBorderColor", ""},
        {"faInsertFont", "TFontAction", "InsertFont", QKeySequence(), true, true, "InsertFont", ""},
        {"iaInsertTransparentColor", color, "InsertTransparentColor", QKeySequence(), false, true,
         "InsertTransparentColor", ""},
        // Ctrl+N is the picture number's key in the main window; the key
        // belongs to one action only.
        {"caInsertAntiAliasing", ca, "InsertAntiAliasing", QKeySequence(), true, true, "Deactivate antialiasing",
         "Click to deactivate antialiasing", "Activate antialiasing", "Click to activate antialiasing"},
        {"daInsertTransparency", "TDoubleAction", "InsertTransparency", QKeySequence(), false, true,
         "InsertTransparency", ""},
        {"paInsertPosition", "TPointAction", "InsertPosition", QKeySequence(), true, true, "InsertPosition", ""},
        {"raPreviewSave", "TRectAction", "PreviewSave", QKeySequence(), true, true, "PreviewSave", ""},
        {"iaTimerInterval", ia, "TimerInterval", QKeySequence(), false, true, "TimerInterval", ""},
        {"naNextDecoderVideo", "TNopeAction", "NextDecoderVideo", keys(Ctrl | Qt::Key_F8), false, true,
         "Next Video Decoder", "Click to use the Next Video Decoder", "", "", KvPackImage::NextDecoder},
    };
    // The pictures of the renderer's actions are the layout's business.
    std::vector<Row> shown = rows;
    for (std::size_t i = 0; i + 1 < shown.size(); ++i)
        shown[i].image = kAnyImage;
    expectActions(*video, shown);

    EXPECT_FALSE(video->caFullscreen->DefaultValue());
    EXPECT_FALSE(video->caFlipVertical->DefaultValue());
    EXPECT_FALSE(video->caFlipHorizontal->DefaultValue());
    EXPECT_FALSE(video->caExternalPreview->DefaultValue());
    EXPECT_TRUE(video->caKeepAspectratio->DefaultValue());
    EXPECT_EQ(video->iaFullBorderWidth->DefaultValue(), 0);
    EXPECT_EQ(video->iaInsertAlignLines->DefaultValue(), 0);
    EXPECT_EQ(video->iaWinBorderWidth->DefaultValue(), 0);
    EXPECT_EQ(video->iaBorderColor->DefaultValue(), clRed);
    EXPECT_EQ(video->iaBackColor->DefaultValue(), clSilver);
    EXPECT_TRUE(video->caInsertTextOn->DefaultValue());
    EXPECT_EQ(video->iaInsertBorderWidth->DefaultValue(), 2);
    EXPECT_EQ(video->iaInsertBorderColor->DefaultValue(), clBlack);
    const TFont font = video->faInsertFont->DefaultValue();
    EXPECT_EQ(font.Name, "Arial");
    EXPECT_EQ(font.Height(), -33);
    EXPECT_EQ(font.Color, clYellow);
    EXPECT_EQ(font.Style, TFontStyles{fsBold});
    EXPECT_EQ(video->iaInsertTransparentColor->DefaultValue(), clWhite);
    EXPECT_TRUE(video->caInsertAntiAliasing->DefaultValue());
    EXPECT_EQ(video->daInsertTransparency->DefaultValue(), 1.0);
    EXPECT_EQ(video->raPreviewSave->DefaultValue(), (TRect{0, 0, 640, 480}));
    EXPECT_EQ(video->iaTimerInterval->DefaultValue(), 3000);
}

TEST(ActionTables, Audio)
{
    namespace K = KvPackImage;
    std::unique_ptr<TAudioMan> audio(TKvActionComponent::Create<TAudioMan>(nullptr));
    const std::vector<Row> rows{
        {"caMute", "TCheckAction", "Mute", keys(Ctrl | Qt::Key_M), true, true, "Turn sound on",
         "Click to turn Sound On", "Put Sound off", "Click to turn Sound Off", K::SoundOff, K::SoundOn},
        {"naNextDecoderAudio", "TNopeAction", "NextDecoderAudio", keys(Ctrl | Qt::Key_F9), false, true,
         "Next Audio decoder", "Click to use the next Audio decoder", "", "", K::NextDecoder},
        {"naIncVolume", "TNopeAction", "IncVolume", keys(Qt::KeypadModifier | Qt::Key_Plus), false, true,
         "Increase Volume", "Click to increase the volume by 1000/10000", "", "", K::VolumeUp},
        {"naDecVolume", "TNopeAction", "DecVolume", keys(Qt::KeypadModifier | Qt::Key_Minus), false, true,
         "Decrease the Volume", "Click to decrease the volume by 1000/10000", "", "", K::VolumeDown},
        {"iaVolume", "TIntegerAction", "Volume", QKeySequence(), true, true, "Volume", ""},
    };
    expectActions(*audio, rows);
    EXPECT_FALSE(audio->caMute->DefaultValue());
    EXPECT_EQ(audio->iaVolume->DefaultValue(), 5000);
}
