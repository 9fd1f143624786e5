// The utility module's dialogs drawn over a picture: the network address
// editor, the date and time editor and the device-information box. Each is
// drawn into the object's own screen-sized buffer at its screen position and
// the dialog's rectangle merged into the page being composed, opaque or
// translucent.
#pragma once
#include <cstdint>
#include <memory>

#include "system/utility/set_time.h"
#include "ui/draw/draw.h"

// Pictures of `UtilityPictuer`.
enum UtilityPicture : int { kUtiPicIp = 0, kUtiPicTime = 1, kUtiPicInfo = 2, kUtiPictures = 3 };

constexpr int64_t kUtiBlinkUs = 300000;  // each phase of the edited field's blink

class _utility_draw final : public Draw {
 public:
  _utility_draw();
  uint32_t* GetDrawAddr(short) override { return buffer_.get(); }

  // The merged rectangle: picture `index` at (row, column); another index empties it.
  void SetPictureInfo(int index, int row, int column);
  // Merges the rectangle into `page` (800 x 480): mode 1 blends each colour
  // byte as page x 23/128 + own x 210/256 except where the own pixel is the
  // mask colour; other modes copy.
  void DrawBuffSync(uint32_t* page, int mode);

  void ShowTimeInit();
  void ShowTime();
  void ShowTimeTwinkleStart();
  void ShowTimeTwinkle();
  // Lays the address editor out and starts editing the address (or mask) line.
  void ShowIpInit(bool maskLine = false);
  void ShowIpAddr();
  void ShowIpTwinkleOne();
  void DrawVersion();

  int& TimeField() { return time_.field; }
  int TimeColumn(int field) const { return time_.column[field]; }
  int IpColumn(int byte) const { return ip_.column[byte]; }
  bool IpEditing() const { return ip_.editing != 0; }
  bool IpMaskLine() const { return ip_.maskLine != 0; }
  int BlinkPhase() const { return phase_; }
  void StopIpEditing() { ip_.editing = 0; }

 private:
  struct TimeLayout {
    int field = 0;  // 0..5: year, month, day, hour, minute, second
    int column[kTimeFields] = {};
  };
  struct IpLayout {
    int maskLine = 0;  // 0 the address, 1 the mask
    int editing = 0;
    int byteWidth = 0, sepWidth = 0;
    int column[4] = {};
  };
  bool Ready();
  void Blink();
  void Box(int picture, int row, int column, const uint16_t* title);

  std::unique_ptr<uint32_t[]> buffer_;
  int rectRow_ = 0, rectCol_ = 0, rectWidth_ = 0, rectHeight_ = 0;
  TimeLayout time_;
  IpLayout ip_;
  int64_t lastToggle_ = 0;
  int phase_ = 0;
};

extern _utility_draw UtilityDraw;
extern Picture UtilityPictuer;
