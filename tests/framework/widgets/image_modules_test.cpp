#include "framework/widgets/image_modules.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ImageModulesTest, SharedByCountAndFreedAtTheLastRelease)
{
    ASSERT_EQ(TdmKvPackImages::Current(), nullptr);
    TdmKvPackImages* first = TdmKvPackImages::Acquire();
    TdmKvPackImages* second = TdmKvPackImages::Acquire();
    EXPECT_EQ(first, second);
    EXPECT_EQ(TdmMorvekImages::Current(), nullptr); // the two modules are apart

    TdmKvPackImages::Release();
    EXPECT_EQ(TdmKvPackImages::Current(), first);
    TdmKvPackImages::Release();
    EXPECT_EQ(TdmKvPackImages::Current(), nullptr);
    TdmKvPackImages::Release(); // one too many does no harm

    {
        TImageModuleRef<TdmMorvekImages> held;
        EXPECT_EQ(TdmMorvekImages::Current(), held.operator->());
    }
    EXPECT_EQ(TdmMorvekImages::Current(), nullptr);
}

// Every glyph draws something, sharply at a small and a large size.
void ExpectDrawn(const TCustomImageList& list, int count)
{
    ASSERT_EQ(list.Count(), count);
    for (int index = 0; index < count; ++index) {
        // On a screen of twice the density too: the drawing, not a blown-up
        // small picture.
        for (qreal scale : {1.0, 2.0}) {
            for (int side : {16, 64}) {
                const QImage image = list.Icon(index).pixmap(QSize(side, side), scale).toImage();
                const int pixels = int(side * scale);
                ASSERT_EQ(image.size(), QSize(pixels, pixels)) << "glyph " << index << " at " << scale;
                int inked = 0;
                for (int y = 0; y < pixels; ++y) {
                    for (int x = 0; x < pixels; ++x)
                        inked += qAlpha(image.pixel(x, y)) > 0;
                }
                EXPECT_GT(inked, pixels * pixels / 20) << "glyph " << index << " at " << side << "x" << scale;
            }
        }
    }
    EXPECT_TRUE(list.Icon(count).isNull());
    EXPECT_TRUE(list.Icon(-1).isNull());
}

TEST(ImageModulesTest, EveryGlyphIsDrawnAtAnySize)
{
    TImageModuleRef<TdmMorvekImages> morvek;
    TImageModuleRef<TdmKvPackImages> kvpack;
    ExpectDrawn(morvek->ilMorvek, MorvekImage::Count);
    ExpectDrawn(kvpack->ilKvPack, KvPackImage::Count);
}

// A red square where the desktop's theme has the icon.
bool ThemeDrawn(const QIcon& icon)
{
    const QImage image = icon.pixmap(24, 24).toImage();
    return image.pixelColor(12, 12) == QColor(Qt::red);
}

TEST(ImageModulesTest, TheDesktopsIconThemeComesFirst)
{
    QTemporaryDir themes;
    ASSERT_TRUE(themes.isValid());
    const QString folder = themes.filePath(QStringLiteral("plain/scalable"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write(themes.filePath(QStringLiteral("plain/index.theme")),
          "[Icon Theme]\nName=plain\nDirectories=scalable\n\n"
          "[scalable]\nSize=48\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    const QByteArray red = "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 8 8'>"
                           "<rect width='8' height='8' fill='#ff0000'/></svg>";
    for (const char* name : {"camera-photo", "document-open"})
        write(folder + u'/' + QLatin1String(name) + QStringLiteral(".svg"), red);

    // The glyphs are looked up in the theme of the desktop the program
    // starts on.
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName(QStringLiteral("plain"));
    ASSERT_EQ(TdmKvPackImages::Current(), nullptr);
    auto morvek = std::make_unique<TImageModuleRef<TdmMorvekImages>>();
    auto kvpack = std::make_unique<TImageModuleRef<TdmKvPackImages>>();
    EXPECT_TRUE(ThemeDrawn((*kvpack)->ilKvPack.Icon(KvPackImage::Grab)));
    EXPECT_TRUE(ThemeDrawn((*morvek)->ilMorvek.Icon(MorvekImage::OpenFile)));
    // What the theme lacks, and the steps that no standard icon tells apart,
    // keep the program's drawings.
    EXPECT_FALSE(ThemeDrawn((*kvpack)->ilKvPack.Icon(KvPackImage::Copy)));
    EXPECT_FALSE(ThemeDrawn((*kvpack)->ilKvPack.Icon(KvPackImage::BackSecond)));

    // Without the theme, the program's own.
    morvek.reset();
    kvpack.reset();
    QIcon::setThemeName(theme);
    QIcon::setThemeSearchPaths(searchPaths);
    EXPECT_FALSE(ThemeDrawn(TImageModuleRef<TdmKvPackImages>()->ilKvPack.Icon(KvPackImage::Grab)));
}

} // namespace
