#pragma once
// How a grabbed picture is named: a root (the video's name, possibly cut to
// a number of characters, or a fixed text), "_", then the zero-padded
// picture number or the frame's time code with its colons made dots, then
// ".jpg" or ".bmp", all inside the picture folder. Names are full Unicode
// throughout; nothing here touches the disk.

#include "platform/core/types.h"

#include <QString>

#include <optional>

// Where the naming settings are read, values a script or a hand-edited
// preference may have put out of range are brought back into it.
inline constexpr int kMaxDigits = 10; // an Integer never needs more
int ClampDigits(int digits);
int ClampJpegQuality(int quality);
int ClampRootLength(int length);

// The file name without its folder and without its extension (the text from
// its last dot on): the name part of SplitFileName.
QString ExtractFileNameNoExt(const QString& fileName);

// The first `count` characters of `text`: a character outside the basic
// plane (a surrogate pair) counts as one and is never split.
QString LeftCharacters(const QString& text, int count);

// The decimal text of `number` with "0" put in front until it is `digits`
// characters long; the sign counts, and a longer text is never cut.
QString NumberText(int number, int digits);

// The time code "h:mm:ss:ff" of `position` with every ":" made a ".".
QString TimecodeNameText(REFERENCE_TIME frameDuration, REFERENCE_TIME position);

// The folder with a trailing separator.
QString WithTrailingSeparator(const QString& folder);

// ".jpg" for JPEG (any value but 0), ".bmp" for 0.
QString PictureExtension(int imageExtension);

// The naming settings, as the window's actions hold them.
struct TPictureNaming
{
    int ImageExtension = 0;  // 0 BMP, else JPEG
    int ImageAjouter = 0;    // 0 time code, 1 number
    int NomFichierImage = 0; // 0 fixed root, else the video's name
    QString DefaultRacine;
    bool LimiterLongueur = false;
    int RacineLength = 8;
    QString DossierSave;
};

// The root of the picture names for the video `videoFileName`.
QString ComputeRacine(const TPictureNaming& naming, const QString& videoFileName);

// The full picture name; nothing for an `ImageAjouter` that names no rule
// (the name then stays as it was). `numberText` serves the number rule,
// `frameDuration` and `position` the time-code rule.
std::optional<QString> BuildPictureName(const TPictureNaming& naming, const QString& root, const QString& numberText,
                                        REFERENCE_TIME frameDuration, REFERENCE_TIME position);

// The default picture folder: the user's pictures folder, else the
// documents folder, else the home folder.
QString GetMyPicturesFolder();
// The user's documents folder, else the home folder.
QString GetPersonalFolder();
