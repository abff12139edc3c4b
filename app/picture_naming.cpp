#include "app/picture_naming.h"

#include "media/engine/video_man.h"
#include "media/parsers/media_records.h"
#include "platform/win/shell.h"

#include <algorithm>

int ClampDigits(int digits)
{
    return std::clamp(digits, 1, kMaxDigits);
}

int ClampJpegQuality(int quality)
{
    return std::clamp(quality, 1, 100);
}

int ClampRootLength(int length)
{
    return std::max(length, 0);
}

QString ExtractFileNameNoExt(const QString& fileName)
{
    return SplitFileName(fileName).Name;
}

QString LeftCharacters(const QString& text, int count)
{
    qsizetype end = 0;
    for (int taken = 0; taken < count && end < text.size(); ++taken) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

QString NumberText(int number, int digits)
{
    QString text = QString::number(number);
    if (text.size() < digits)
        text.prepend(QString(digits - text.size(), u'0'));
    return text;
}

QString TimecodeNameText(REFERENCE_TIME frameDuration, REFERENCE_TIME position)
{
    return RefTimeToTimecodeStr(frameDuration, position).replace(u':', u'.');
}

QString WithTrailingSeparator(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString PictureExtension(int imageExtension)
{
    return imageExtension != 0 ? QStringLiteral(".jpg") : QStringLiteral(".bmp");
}

QString ComputeRacine(const TPictureNaming& naming, const QString& videoFileName)
{
    if (naming.NomFichierImage == 0)
        return naming.DefaultRacine;
    const QString name = ExtractFileNameNoExt(videoFileName);
    return naming.LimiterLongueur ? LeftCharacters(name, ClampRootLength(naming.RacineLength)) : name;
}

std::optional<QString> BuildPictureName(const TPictureNaming& naming, const QString& root, const QString& numberText,
                                        REFERENCE_TIME frameDuration, REFERENCE_TIME position)
{
    QString suffix;
    switch (naming.ImageAjouter) {
    case 0:
        suffix = TimecodeNameText(frameDuration, position);
        break;
    case 1:
        suffix = numberText;
        break;
    default:
        return std::nullopt;
    }
    return WithTrailingSeparator(naming.DossierSave) + root + u'_' + suffix + PictureExtension(naming.ImageExtension);
}

QString GetMyPicturesFolder()
{
    return PicturesFolder();
}

QString GetPersonalFolder()
{
    return DocumentsFolder();
}
