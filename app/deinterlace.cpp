#include "app/deinterlace.h"

#include <cstring>
#include <vector>

#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
#include <emmintrin.h>
#define KESTROVA_COMB_SSE2 1
#endif

namespace {

// The weights of red, green and blue in the comb test, and the product above
// which a line counts as combed.
constexpr int kRedWeight = 3;
constexpr int kGreenWeight = 6;
constexpr int kBlueWeight = 1;
constexpr int kCombThreshold = 2000;

// Whether the pixel b differs from both a above and c below in the same
// direction, by more than the threshold.
bool Combed(QRgb a, QRgb b, QRgb c)
{
    const int d = kRedWeight * (qRed(a) - qRed(b)) * (qRed(c) - qRed(b)) +
                  kGreenWeight * (qGreen(a) - qGreen(b)) * (qGreen(c) - qGreen(b)) +
                  kBlueWeight * (qBlue(a) - qBlue(b)) * (qBlue(c) - qBlue(b));
    return d > kCombThreshold;
}

// Marks the combed pixels of a line (nonzero in `combed`); whether any is.
bool CombLine(const QRgb* above, const QRgb* line, const QRgb* below, int width, unsigned char* combed)
{
    int x = 0;
    bool any = false;
#ifdef KESTROVA_COMB_SSE2
    // Four pixels at a time: the bytes B, G, R, X widened to 16 bits, the
    // differences to the line below weighted, and each pixel's weighted
    // products summed in pairs (B + G, R + X) by madd, then the pairs added.
    const __m128i zero = _mm_setzero_si128();
    const __m128i weights =
        _mm_setr_epi16(kBlueWeight, kGreenWeight, kRedWeight, 0, kBlueWeight, kGreenWeight, kRedWeight, 0);
    const __m128i threshold = _mm_set1_epi32(kCombThreshold);
    __m128i seen = zero;
    const auto products = [&](__m128i a, __m128i b, __m128i c) {
        return _mm_madd_epi16(_mm_sub_epi16(a, b), _mm_mullo_epi16(_mm_sub_epi16(c, b), weights));
    };
    for (; x + 4 <= width; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
        const __m128i low =
            products(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
        const __m128i high =
            products(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
        const __m128 lowF = _mm_castsi128_ps(low), highF = _mm_castsi128_ps(high);
        const __m128i d = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(lowF, highF, _MM_SHUFFLE(2, 0, 2, 0))),
                                        _mm_castps_si128(_mm_shuffle_ps(lowF, highF, _MM_SHUFFLE(3, 1, 3, 1))));
        const __m128i mask = _mm_cmpgt_epi32(d, threshold);
        seen = _mm_or_si128(seen, mask);
        const __m128i words = _mm_packs_epi32(mask, mask);
        const int bytes = _mm_cvtsi128_si32(_mm_packs_epi16(words, words));
        std::memcpy(combed + x, &bytes, sizeof bytes);
    }
    any = _mm_movemask_epi8(seen) != 0;
#endif
    for (; x < width; ++x) {
        combed[x] = Combed(above[x], line[x], below[x]);
        any |= combed[x] != 0;
    }
    return any;
}

} // namespace

bool HasFourBytePixels(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

void DeinterlaceBitmap(const QImage& source, QImage& destination)
{
    // A work picture kept from the last grab is filled again rather than
    // made anew: fresh memory of that size costs more than the repair.
    if (&source != &destination && destination.isDetached() && destination.format() == source.format() &&
        destination.size() == source.size() && destination.bytesPerLine() == source.bytesPerLine())
        std::memcpy(destination.bits(), source.constBits(), static_cast<size_t>(source.sizeInBytes()));
    else
        destination = source;
    if (!HasFourBytePixels(destination.format()))
        return;
    const int width = destination.width();
    const int height = destination.height();
    // A combed pixel is repaired only with a combed neighbour on its line.
    if (width < 2 || height < 3)
        return;

    // The destination's own pixels are read as they are repaired: a line is
    // repaired from the even lines around it, which are never changed, so no
    // second copy of the picture is needed.
    uchar* bits = destination.bits();
    const qsizetype stride = destination.bytesPerLine();
    const auto row = [bits, stride](int y) { return reinterpret_cast<QRgb*>(bits + y * stride); };
    std::vector<unsigned char> combed(static_cast<size_t>(width));
    for (int y = 1; y < height - 1; y += 2) {
        const QRgb* above = row(y - 1);
        QRgb* line = row(y);
        const QRgb* below = row(y + 1);
        if (!CombLine(above, line, below, width, combed.data()))
            continue;
        for (int x = 0; x < width; ++x) {
            // The last pixel of a line pairs with its left neighbour.
            const int neighbour = x + 1 < width ? x + 1 : x - 1;
            if (!combed[x] || !combed[neighbour])
                continue;
            const QRgb a = above[x], c = below[x];
            line[x] =
                qRgba((qRed(a) + qRed(c)) / 2, (qGreen(a) + qGreen(c)) / 2, (qBlue(a) + qBlue(c)) / 2, qAlpha(line[x]));
        }
    }
}
