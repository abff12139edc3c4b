// The graphics declarations scripts see: colour constants, pen, brush and
// font types, and the canvas, graphic and bitmap classes.

#include "script/compiler/class_import.h"
#include "script/compiler/compiler.h"

#include <initializer_list>
#include <utility>

namespace {

using Access = TPSPropertyAccess;

struct Property
{
    const char* name;
    const char* type;
    Access access = Access::ReadWrite;
};

TPSCompileTimeClass* declareClass(TPSPascalCompiler& c, const char* parent, const char* name,
                                  std::initializer_list<const char*> methods,
                                  std::initializer_list<Property> properties)
{
    TPSCompileTimeClass* cl = c.AddClass(c.FindClass(parent), name);
    // Members naming types the host has not declared are dropped.
    for (const char* method : methods)
        cl->RegisterMethod(method);
    for (const Property& property : properties)
        cl->RegisterProperty(property.name, property.type, property.access);
    return cl;
}

} // namespace

void RegisterGraphicsClasses(TPSPascalCompiler& c, bool streams)
{
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, std::uint32_t>>{
             {"clScrollBar", 0xFF000000},
             {"clBackground", 0xFF000001},
             {"clActiveCaption", 0xFF000002},
             {"clInactiveCaption", 0xFF000003},
             {"clMenu", 0xFF000004},
             {"clWindow", 0xFF000005},
             {"clWindowFrame", 0xFF000006},
             {"clMenuText", 0xFF000007},
             {"clWindowText", 0xFF000008},
             {"clCaptionText", 0xFF000009},
             {"clActiveBorder", 0xFF00000A},
             {"clInactiveBorder", 0xFF00000B},
             {"clAppWorkSpace", 0xFF00000C},
             {"clHighlight", 0xFF00000D},
             {"clHighlightText", 0xFF00000E},
             {"clBtnFace", 0xFF00000F},
             {"clBtnShadow", 0xFF000010},
             {"clGrayText", 0xFF000011},
             {"clBtnText", 0xFF000012},
             {"clInactiveCaptionText", 0xFF000013},
             {"clBtnHighlight", 0xFF000014},
             {"cl3DDkShadow", 0xFF000015},
             {"cl3DLight", 0xFF000016},
             {"clInfoText", 0xFF000017},
             {"clInfoBk", 0xFF000018},
             {"clBlack", 0x000000},
             {"clMaroon", 0x000080},
             {"clGreen", 0x008000},
             {"clOlive", 0x008080},
             {"clNavy", 0x800000},
             {"clPurple", 0x800080},
             {"clTeal", 0x808000},
             {"clGray", 0x808080},
             {"clSilver", 0xC0C0C0},
             {"clRed", 0x0000FF},
             {"clLime", 0x00FF00},
             {"clYellow", 0x00FFFF},
             {"clBlue", 0xFF0000},
             {"clFuchsia", 0xFF00FF},
             {"clAqua", 0xFFFF00},
             {"clLtGray", 0xC0C0C0},
             {"clDkGray", 0x808080},
             {"clWhite", 0xFFFFFF},
             {"clNone", 0x1FFFFFFF},
             {"clDefault", 0x20000000},
         })
        c.AddConstantN(name, "Integer")->SetInt(value);

    c.AddTypeS("TFontStyle", "(fsBold, fsItalic, fsUnderline, fsStrikeOut)");
    c.AddTypeS("TFontStyles", "set of TFontStyle");
    c.AddTypeS("TFontPitch", "(fpDefault, fpVariable, fpFixed)");
    c.AddTypeS("TPenStyle", "(psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame)");
    c.AddTypeS("TPenMode", "(pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, "
                           "pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor)");
    c.AddTypeS("TBrushStyle",
               "(bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross)");
    for (const char* name : {"TColor", "HBITMAP", "HPALETTE"})
        c.AddTypeS(name, "Integer");

    declareClass(c, "TPersistent", "TGraphicsObject", {}, {{"OnChange", "TNotifyEvent"}});
    declareClass(c, "TPersistent", "TGraphic",
                 {"constructor Create", "procedure LoadFromFile(const FileName: string)",
                  "procedure SaveToFile(const FileName: string)"},
                 {{"Empty", "Boolean", Access::ReadOnly},
                  {"Height", "Integer"},
                  {"Modified", "Boolean"},
                  {"Width", "Integer"},
                  {"OnChange", "TNotifyEvent"}});
    declareClass(c, "TGraphicsObject", "TFont", {"constructor Create;"},
                 {{"Handle", "Integer"},
                  {"Color", "TColor"},
                  {"Height", "Integer"},
                  {"Name", "string"},
                  {"Pitch", "Byte"},
                  {"Size", "Integer"},
                  {"PixelsPerInch", "Integer"},
                  {"Style", "TFontStyles"}});
    declareClass(c, "TGraphicsObject", "TPen", {"constructor Create"},
                 {{"Color", "TColor"}, {"Mode", "TPenMode"}, {"Style", "TPenStyle"}, {"Width", "Integer"}});
    declareClass(c, "TGraphicsObject", "TBrush", {"constructor Create"},
                 {{"Color", "TColor"}, {"Style", "TBrushStyle"}});
    declareClass(c, "TPersistent", "TCanvas",
                 {
                     "procedure Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4: Integer);",
                     "procedure Chord(X1, Y1, X2, Y2, X3, Y3, X4, Y4: Integer);",
                     "procedure Draw(X, Y: Integer; Graphic: TGraphic);",
                     "procedure Ellipse(X1, Y1, X2, Y2: Integer);",
                     "procedure FillRect(const Rect: TRect);",
                     "procedure FloodFill(X, Y: Integer; Color: TColor; FillStyle: Byte);",
                     "procedure LineTo(X, Y: Integer);",
                     "procedure MoveTo(X, Y: Integer);",
                     "procedure Pie(X1, Y1, X2, Y2, X3, Y3, X4, Y4: Integer);",
                     "procedure Rectangle(X1, Y1, X2, Y2: Integer);",
                     "procedure Refresh;",
                     "procedure RoundRect(X1, Y1, X2, Y2, X3, Y3: Integer);",
                     "function TextHeight(Text: string): Integer;",
                     "procedure TextOut(X, Y: Integer; Text: string);",
                     "function TextWidth(Text: string): Integer;",
                 },
                 {{"Handle", "Integer"},
                  {"Pixels", "Integer Integer Integer"},
                  {"Brush", "TBrush", Access::ReadOnly},
                  {"CopyMode", "Byte"},
                  {"Font", "TFont", Access::ReadOnly},
                  {"Pen", "TPen", Access::ReadOnly}});
    TPSCompileTimeClass* bitmap = declareClass(c, "TGraphic", "TBitmap", {}, {});
    if (streams) {
        bitmap->RegisterMethod("procedure LoadFromStream(Stream: TStream)");
        bitmap->RegisterMethod("procedure SaveToStream(Stream: TStream)");
    }
    bitmap->RegisterProperty("Canvas", "TCanvas", Access::ReadOnly);
    bitmap->RegisterProperty("Handle", "HBITMAP", Access::ReadWrite);
    for (const char* method : {
             "procedure Dormant",
             "procedure FreeImage",
             "procedure LoadFromClipboardFormat(AFormat: Word; AData: THandle; APalette: HPALETTE)",
             "procedure LoadFromResourceName(Instance: THandle; const ResName: string)",
             "procedure LoadFromResourceID(Instance: THandle; ResID: Integer)",
             "function ReleaseHandle: HBITMAP",
             "function ReleasePalette: HPALETTE",
             "procedure SaveToClipboardFormat(var Format: Word; var Data: THandle; var APalette: HPALETTE)",
         })
        bitmap->RegisterMethod(method);
    for (const Property& property : std::initializer_list<Property>{{"Monochrome", "Boolean"},
                                                                    {"Palette", "HPALETTE"},
                                                                    {"IgnorePalette", "Boolean"},
                                                                    {"TransparentColor", "TColor", Access::ReadOnly}})
        bitmap->RegisterProperty(property.name, property.type, property.access);
    declareClass(c, "TPersistent", "TPicture", {}, {{"Bitmap", "TBitmap"}});
}
