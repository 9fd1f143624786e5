// The picture store: up to 300 pictures read from 24-bit BMP files, kept as
// 0x00RRGGBB pixels top row first. Key-coloured pixels become MASK_COLOR.
#pragma once
#include <cstdint>

constexpr uint32_t MASK_COLOR = 0x00FFF200;

// One row of a picture list; an id of 0xFFFF ends the list. Pictures go into
// the slots in row order; keyRow / keyColumn (rows counted bottom first as
// stored) name the pixel whose colour is transparent, -1 for none.
struct PicPath {
  uint16_t id;
  char path[82];
  int32_t keyRow;
  int32_t keyColumn;
};

// One slot: size and pixels (null when empty).
struct PicInfo {
  int16_t width;
  int16_t height;
  uint32_t* pixels;
};

constexpr int kSystemPictures = 140;
extern const PicPath PicList[kSystemPictures + 1];

// Fixed places of the status-bar pictures, indexed by row (-1 ends).
struct ElementPosRow {
  int16_t picture;
  int16_t row;
  int16_t column;
};
extern const ElementPosRow ElementPos[18];

class Picture {
 public:
  static constexpr int kSlots = 300;
  static constexpr int kMaxWidth = 800;
  static constexpr int kMaxHeight = 480;

  Picture() : slots_{} {}
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Loads the list into slots 0, 1, ...; returns the number of pictures loaded,
  // or -1 when any file was missing, short or malformed (that slot stays empty,
  // the others load).
  int LoadPicture(const PicPath* list);
  const PicInfo* GetPictureMsg(int id) const;
  void DispPicAddr() const;

 private:
  bool LoadOne(int slot, const PicPath& row);
  PicInfo slots_[kSlots];
};

extern Picture QelSysPic;
