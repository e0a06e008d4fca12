// Writes the two held images of the views: the "Colours/Numbers" picture and the font sheet.
// Usage: make_view_images <font.ttf> <out colour picture> <out font sheet>
// Both are 256 x 256, 8 bits per pixel with a 256-entry palette kept in the stored order
// the views undo at load (bits 3 and 4 of the index swapped).

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int SIZE = 256;

int swap_bits_3_4(int i) {
    return (i & ~0x18) | (((i >> 3) & 1) << 4) | (((i >> 4) & 1) << 3);
}

bool write_image(const char* path, const uint8_t logicalPalette[1024],
                 const std::vector<uint8_t>& pixels) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const int32_t header[4] = {SIZE, SIZE, 8, 1};
    for (int32_t word : header) {
        const uint8_t b[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                              uint8_t(word >> 24)};
        std::fwrite(b, 1, 4, f);
    }
    uint8_t stored[1024];
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 4; ++c)
            stored[4 * swap_bits_3_4(i) + c] = logicalPalette[4 * i + c];
    std::fwrite(stored, 1, sizeof(stored), f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    return std::fclose(f) == 0;
}

QImage blank() {
    QImage image(SIZE, SIZE, QImage::Format_Grayscale8);
    image.fill(0);
    return image;
}

// 8 x 8 cells of 32 pixels, hue across and lightness down, each numbered 1..64.
bool make_colour_picture(const QString& family, const char* path) {
    uint8_t palette[1024] = {};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const QColor colour = QColor::fromHsv(c * 45, 200, 255 - r * 22);
            const int i = r * 8 + c;
            palette[4 * i] = uint8_t(colour.red());
            palette[4 * i + 1] = uint8_t(colour.green());
            palette[4 * i + 2] = uint8_t(colour.blue());
            palette[4 * i + 3] = 255;
        }
    const int black = 64, white = 65;
    palette[4 * black + 3] = 255;
    for (int c = 0; c < 4; ++c)
        palette[4 * white + c] = 255;

    QImage mask = blank();
    {
        QPainter painter(&mask);
        QFont font(family);
        font.setPixelSize(14);
        font.setBold(true);
        font.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255));
        for (int i = 0; i < 64; ++i)
            painter.drawText(QRect((i % 8) * 32, (i / 8) * 32, 32, 32), Qt::AlignCenter,
                             QString::number(i + 1));
    }
    std::vector<uint8_t> pixels(SIZE * SIZE);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            const int cell = (y / 32) * 8 + x / 32;
            const bool ink = mask.constScanLine(y)[x] > 127;
            const bool border = x % 32 == 0 || y % 32 == 0;
            pixels[size_t(y * SIZE + x)] = uint8_t(ink      ? ((y / 32) < 4 ? black : white)
                                                   : border ? black
                                                            : cell);
        }
    return write_image(path, palette, pixels);
}

// Cells of 10 x 18 pixels, 25 a row; cell k holds character k + 33 ("!" .. "~" in cells
// 0..93, Latin-1 161.. from cell 128). Each glyph's ink starts at column 1 of its cell and stays
// within columns 1..9 and rows 0..15, so column 0 of the sheet is background and the views find
// a glyph's right edge at its first empty column.
bool make_font_sheet(const QString& family, const char* path) {
    uint8_t palette[1024];
    for (int i = 0; i < 256; ++i) {
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = 255;
        palette[4 * i + 3] = uint8_t(i); // coverage
    }
    QFont font(family);
    font.setPixelSize(12);
    font.setHintingPreference(QFont::PreferFullHinting);
    std::vector<uint8_t> pixels(SIZE * SIZE, 0);
    for (int k = 0; k < 211; ++k) {
        const int code = k + 33;
        if (code > 126 && code < 161)
            continue;
        // Drawn on its own with room on the left, then moved so its ink starts at column 1.
        QImage glyph(32, 16, QImage::Format_Grayscale8);
        glyph.fill(0);
        {
            QPainter painter(&glyph);
            painter.setFont(font);
            painter.setPen(QColor(255, 255, 255));
            painter.drawText(QPointF(8, 12), QString(QChar(code)));
        }
        int first = -1;
        for (int x = 0; x < 32 && first < 0; ++x)
            for (int y = 0; y < 16; ++y)
                if (glyph.constScanLine(y)[x] != 0) {
                    first = x;
                    break;
                }
        if (first < 0)
            continue;
        const int left = 10 * (k % 25), top = 18 * (k / 25);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 9 && first + x < 32; ++x)
                pixels[size_t((top + y) * SIZE + left + 1 + x)] = glyph.constScanLine(y)[first + x];
    }
    return write_image(path, palette, pixels);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s font.ttf colour_picture.bin font_sheet.bin\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[1]));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (id < 0 || families.isEmpty()) {
        std::fprintf(stderr, "cannot read the font %s\n", argv[1]);
        return 1;
    }
    if (!make_colour_picture(families.first(), argv[2])) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    if (!make_font_sheet(families.first(), argv[3])) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
