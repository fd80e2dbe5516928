#include "shell/images.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace sk {

namespace {

// Each image is 16 rows of 16 characters; each character names a colour of the palette.
using Picture = std::array<std::string_view, kImageSize>;

struct PaletteEntry {
  char key;
  uint32_t argb;
};

constexpr PaletteEntry kPalette[] = {
    {'.', 0x00000000},  // transparent
    {'k', 0xFF202020},  // outline
    {'w', 0xFFFFFFFF},  // white
    {'g', 0xFFD0D0D0},  // light grey
    {'G', 0xFF7C7C7C},  // grey
    {'b', 0xFF3C78D8},  // blue
    {'B', 0xFF1F4A96},  // dark blue
    {'r', 0xFFE04040},  // red
    {'R', 0xFF962020},  // dark red
    {'n', 0xFF4CB84C},  // green
    {'N', 0xFF237A23},  // dark green
    {'y', 0xFFF6D55C},  // yellow
    {'Y', 0xFFC9A02A},  // dark yellow
    {'p', 0xFFC89058},  // cardboard
    {'P', 0xFF7A5028},  // dark cardboard
    {'s', 0xFFEBD2A4},  // light cardboard
};

constexpr Picture kPictures[kImageCount] = {
    // 0: a main volume, a labelled storage box.
    Picture{"................", "................", "..PPPPPPPPPPPP..", ".PssssssssssssP.",
            ".PssssssssssssP.", ".PPPPPPPPPPPPPP.", ".PppppppppppppP.", ".PppppppppppppP.",
            ".PppPPPPPPPPppP.", ".PppPwwwwwwPppP.", ".PppPwGGGGwPppP.", ".PppPwwwwwwPppP.",
            ".PppPPPPPPPPppP.", ".PppppppppppppP.", ".PPPPPPPPPPPPPP.", "................"},
    // 1: a file, a written page with a folded corner.
    Picture{"................", "...kkkkkkkk.....", "...kwwwwwwkk....", "...kwwwwwwkgk...",
            "...kwwwwwwkkkk..", "...kwwwwwwwwwk..", "...kwGGGGGGwwk..", "...kwwwwwwwwwk..",
            "...kwGGGGGGGwk..", "...kwwwwwwwwwk..", "...kwGGGGGGwwk..", "...kwwwwwwwwwk..",
            "...kwGGGGGGGwk..", "...kwwwwwwwwwk..", "...kkkkkkkkkkk..", "................"},
    // 2: a folder.
    Picture{"................", "................", ".YYYYY..........", "YyyyyyY.........",
            "YyyyyyyYYYYYYYY.", "YyyyyyyyyyyyyyY.", "YYYYYYYYYYYYYYY.", "YyyyyyyyyyyyyyY.",
            "YyyyyyyyyyyyyyY.", "YyyyyyyyyyyyyyY.", "YyyyyyyyyyyyyyY.", "YyyyyyyyyyyyyyY.",
            "YyyyyyyyyyyyyyY.", "YYYYYYYYYYYYYYY.", "................", "................"},
    // 3: the program, an arrow stowing into a box.
    Picture{".....NNNNNN.....", ".....NnnnnN.....", ".....NnnnnN.....", "..NNNNnnnnNNNN..",
            "...NnnnnnnnnN...", "....NnnnnnnN....", ".....NnnnnN.....", "......NnnN......",
            ".PPPPPPNNPPPPPP.", ".PssssssssssssP.", ".PPPPPPPPPPPPPP.", ".PppppppppppppP.",
            ".PpppPPPPPPpppP.", ".PpppPwwwwPpppP.", ".PppppppppppppP.", ".PPPPPPPPPPPPPP."},
    // 4: a restore point, a clock.
    Picture{"................", ".....BBBBBB.....", "...BBBwwwwBBB...", "..BBwwwkwwwwBB..",
            "..BwwwwkwwwwwB..", ".BBwwwwkwwwwwBB.", ".BwwwwwkwwwwwwB.", ".BwwwwwkkkkwwwB.",
            ".BwwwwwwwwwwwwB.", ".BwwwwwwwwwwwwB.", ".BBwwwwwwwwwwBB.", "..BwwwwwwwwwwB..",
            "..BBwwwwwwwwBB..", "...BBBwwwwBBB...", ".....BBBBBB.....", "................"},
    // 5: settings, a gear wheel.
    Picture{"................", "......kkkk......", "..kk..kGGk..kk..", ".kGGkkkGGkkkGGk.",
            ".kGGGGGGGGGGGGk.", "..kGGGkkkkGGGk..", ".kkGGk....kGGkk.", "kGGGGk....kGGGGk",
            "kGGGGk....kGGGGk", ".kkGGk....kGGkk.", "..kGGGkkkkGGGk..", ".kGGGGGGGGGGGGk.",
            ".kGGkkkGGkkkGGk.", "..kk..kGGk..kk..", "......kkkk......", "................"},
    // 6: about, an information sign.
    Picture{"................", ".....BBBBBB.....", "...BBbbbbbbBB...", "..BbbbbwwbbbbB..",
            "..BbbbbwwbbbbB..", ".BbbbbbbbbbbbbB.", ".BbbbbwwwbbbbbB.", ".BbbbbbwwbbbbbB.",
            ".BbbbbbwwbbbbbB.", ".BbbbbbwwbbbbbB.", "..BbbbbwwbbbbB..", "..BbbbwwwwbbbB..",
            "...BBbbbbbbBB...", ".....BBBBBB.....", "................", "................"},
    // 7: properties, a sheet of labelled values.
    Picture{"................", ".BBBBBBBBBBBBBB.", ".BbbbbbbbbbwbwB.", ".BBBBBBBBBBBBBB.",
            ".BwwwwwwwwwwwwB.", ".BwrrwGGGGGGwwB.", ".BwrrwwwwwwwwwB.", ".BwwwwwwwwwwwwB.",
            ".BwnnwGGGGGGGwB.", ".BwnnwwwwwwwwwB.", ".BwwwwwwwwwwwwB.", ".BwbbwGGGGGwwwB.",
            ".BwbbwwwwwwwwwB.", ".BwwwwwwwwwwwwB.", ".BBBBBBBBBBBBBB.", "................"},
    // 8: quit, an arrow leaving through a door.
    Picture{"................", ".PPPPPPPP.......", ".PppppppP.......", ".PppppppP.......",
            ".PppppppP...R...", ".PppppppP...RR..", ".PppppppPRRRRrR.", ".PpYppppPrrrrrrR",
            ".PpYppppPRRRRrR.", ".PppppppP...RR..", ".PppppppP...R...", ".PppppppP.......",
            ".PppppppP.......", ".PPPPPPPP.......", "................", "................"},
    // 9: verify, a check mark.
    Picture{"................", "................", "................", "............NNN.",
            "...........NnnN.", "..........NnnN..", ".........NnnN...", "..NN....NnnN....",
            ".NnnN..NnnN.....", ".NnnnNNnnN......", "..NnnnnnN.......", "...NnnnN........",
            "....NnN.........", ".....N..........", "................", "................"},
    // 10: the parent folder, an arrow going one level up.
    Picture{"................", ".......N........", "......NnN.......", ".....NnnnN......",
            "....NnnnnnN.....", "...NnnnnnnnN....", "..NNNNnnnNNNN...", ".....NnnnN......",
            ".....NnnnN......", ".....NnnnNNNNNN.", ".....NnnnnnnnnN.", ".....NnnnnnnnnN.",
            "......NNNNNNNNN.", "................", "................", "................"},
    // 11: list contents, a bulleted list.
    Picture{"................", "................", ".bb..GGGGGGGGGG.", ".bb..GGGGGGGGGG.",
            "................", ".bb..GGGGGGGG...", ".bb..GGGGGGGG...", "................",
            ".bb..GGGGGGGGGG.", ".bb..GGGGGGGGGG.", "................", ".bb..GGGGGGG....",
            ".bb..GGGGGGG....", "................", "................", "................"},
    // 12: update, two arrows going round.
    Picture{"................", "......NNNN......", "....NNnnnnNN.N..", "...NnnNNNNnnNnN.",
            "..NnN.....NnnnN.", "..NnN....NnnnnN.", ".NnN.....NNNNNN.", ".NnN............",
            "............NnN.", ".NNNNNN.....NnN.", ".NnnnnN....NnN..", ".NnnnN.....NnN..",
            ".NnNnnNNNNnnN...", "..N.NNnnnnNN....", "......NNNN......", "................"},
    // 13: restore, an arrow coming out of a box.
    Picture{".......BB.......", "......BbbB......", ".....BbbbbB.....", "....BbbbbbbB....",
            "...BBBbbbbBBB...", ".....BbbbbB.....", ".....BbbbbB.....", ".PPPPBbbbbBPPPP.",
            ".PsssBBBBBBsssP.", ".PPPPPPPPPPPPPP.", ".PppppppppppppP.", ".PpppPPPPPPpppP.",
            ".PpppPwwwwPpppP.", ".PpppPPPPPPpppP.", ".PppppppppppppP.", ".PPPPPPPPPPPPPP."},
    // 14: delete, a cross.
    Picture{"................", "................", "...RR......RR...", "..RrrR....RrrR..",
            "...RrrR..RrrR...", "....RrrRRrrR....", ".....RrrrrR.....", "......RrrR......",
            ".....RrrrrR.....", "....RrrRRrrR....", "...RrrR..RrrR...", "..RrrR....RrrR..",
            "...RR......RR...", "................", "................", "................"},
};

uint32_t ColourOf(char key) {
  for (const PaletteEntry& entry : kPalette) {
    if (entry.key == key) return entry.argb;
  }
  return 0;  // an unknown key draws nothing
}

ui::Image Decode(const Picture& picture) {
  ui::Image image{kImageSize, kImageSize, {}};
  image.pixels.reserve(kImageSize * kImageSize);
  for (const std::string_view row : picture) {
    for (int x = 0; x < kImageSize; ++x) {
      image.pixels.push_back(x < static_cast<int>(row.size()) ? ColourOf(row[x]) : 0);
    }
  }
  return image;
}

}  // namespace

const std::vector<ui::Image>& ProgramImages() {
  static const std::vector<ui::Image> images = [] {
    std::vector<ui::Image> decoded;
    for (const Picture& picture : kPictures) decoded.push_back(Decode(picture));
    return decoded;
  }();
  return images;
}

}  // namespace sk
