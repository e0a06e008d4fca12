#include "views/display_textures.h"

extern const uint8_t held_colour_picture_bytes[];
extern const int64_t held_colour_picture_bytes_size;
extern const uint8_t held_font_sheet_bytes[];
extern const int64_t held_font_sheet_bytes_size;

const HeldImage& held_colour_picture() {
    static const HeldImage image = [] {
        HeldImage parsed;
        held_image_parse(held_colour_picture_bytes, held_colour_picture_bytes_size, &parsed);
        return parsed;
    }();
    return image;
}

const HeldImage& held_font_sheet() {
    static const HeldImage image = [] {
        HeldImage parsed;
        held_image_parse(held_font_sheet_bytes, held_font_sheet_bytes_size, &parsed);
        return parsed;
    }();
    return image;
}
