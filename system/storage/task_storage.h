// The storage function module behind the STORAGE key (task 17): saving and
// recalling waveforms (.wav, .csv) and whole setups (.dat) on the internal
// memory or the USB disk, the reference traces RefA and RefB, the file-name
// keyboard, the file chooser and the overwrite prompt, and the screenshot
// key's page. The order in which modules fill and read a setup is fixed here.
#pragma once
#include <cstdint>
#include <vector>

#include "core/common/common_subprogram.h"
#include "core/state/task.h"

struct instr;

// Task ids visited, in order, when a setup is saved or loaded (ended by -1).
// Ids without a module are skipped; the system module comes twice, so its
// run state is applied before the math module and again last.
extern const int LoadTaskOrder[];
constexpr int kSetupBufferBytes = 102400;

// Item numbers (item n: page n / 5, slot n % 5).
enum StorageItem : int {
  kStoType = 0, kStoSource = 1, kStoDisk = 2, kStoWaveName = 3, kStoSaveWave = 4,
  kStoTypeSet = 5, kStoDiskSet = 6, kStoSetName = 7, kStoSaveSet = 8, kStoLoadSet = 9,
  kStoTypeRef = 10, kStoRefSel = 11, kStoDiskRef = 12, kStoLoadRef = 13, kStoClearRef = 14,
  kStoTypePrt = 15, kStoPrtFormat = 16, kStoPrtView = 17, kStoPrtSave = 18,
  kStoView = 20, kStoViewNext = 21, kStoViewPrevious = 22, kStoViewBack = 24,
  kStoTypeVideo = 25, kStoFrameS = 26, kStoStartFrame = 27, kStoEndFrame = 28, kStoVideoNext = 29,
  kStoVideoName = 30, kStoVideoSave = 31, kStoVideoCancel = 32, kStoVideoTime = 33, kStoVideoBack = 34,
  kStoInputDelete = 35, kStoInputSure = 36, kStoInputBack = 39,
  kStoCancel = 40, kStoOverlay = 41,
  kStoLoadSure = 45, kStoLoadBack = 49,
};
// Pages by their first item.
enum StoragePage : int { kPageWave = 0, kPageSet = 5, kPageRef = 10, kPagePrint = 15, kPageView = 20,
                         kPageVideo = 25, kPageVideo2 = 30, kPageInput = 35, kPagePrompt = 40, kPageLoad = 45 };
// The Type values (and the page each opens: 5 x the value).
enum StorageType : int { kTypeWave = 0, kTypeSetup = 1, kTypeRef = 2, kTypePrint = 3, kTypeVideo = 4 };
// What Display draws.
enum StorageShow : int { kShowKeyboard = 0, kShowFiles = 1, kShowPrompt = 2, kShowScreenshot = 3, kShowNothing = 255 };

constexpr int kStorageTaskId = 17;
constexpr int kStorageNameChars = 12;

class TaskForStorage : public task {
 public:
  int Default() override;
  int Initialize() override;
  // The module's own block "TASK-STORAGE" (not part of a setup file).
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override;
  int FunctionOnOff(int mode) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;

  int LoadLanguage(int reload);
  // The file a setup load requested over SCPI takes (key 240).
  void Set_scpi_loadfilename(const char* name, int length, int disk);
  // 1 while the overwrite prompt of a waveform save is shown.
  int GetPromptFlag() const { return promptFlag_; }
  void SetPromptFlag(int on) { promptFlag_ = uint8_t(on); }

  // Texts of the language file: the prompt's title and text, the file list's title.
  const uint16_t* promptTitle = nullptr;
  const uint16_t* promptText = nullptr;
  const uint16_t* fileListTitle = nullptr;

 private:
  std::vector<uint16_t> text_;
  uint8_t promptFlag_ = 0;
};

// The module's state shared by its files.
struct StorageState {
  char inputName[kStorageNameChars + 1];
  int16_t keySel;
  int16_t upperLower;  // 0 capitals, 1 small letters
  char waveName[kStorageNameChars + 1];
  char setName[kStorageNameChars + 1];
  char videoName[kStorageNameChars + 1];
  uint8_t waveIndex, setIndex;  // running numbers of the default names
  char loadFileName[100];
  int16_t scpiDisk;
  int16_t backPage;
  int16_t displayType;
  int16_t numKeyboard;  // 1 while the number pad of StartFrame or EndFrame is shown
  int minVideoTime, maxVideoTime;
  uint8_t recSaveFlag;  // the video range was set from a recording
};
extern StorageState Storage;
extern _Filelist WaveFileList, SetFileList;

extern TaskForStorage TaskStorage;
extern instr TaskStorageInstrStandard[];
extern menu TaskStorageMenu;

// Item handlers and page handlers.
int Storage_Type(keypara k);
int Storage_Source(keypara k);
int Storage_Disk(keypara k);
int Storage_InputName(keypara k);
int Storage_SaveWave(keypara k);
int Storage_SaveSet(keypara k);
int Storage_LoadSet(keypara k);
int Storage_RefSel(keypara k);
int Storage_LoadWave(keypara k);
int Storage_ClearWave(keypara k);
int Storage_PrintScreen_Format(keypara k);
int Storage_PrintScreen_Save(keypara k);
int Storage_PrintScreen_View(keypara k);
int Storage_PrintScreen_ViewOnOff(keypara k);
int Storage_PrintScreen_ViewNext(keypara k);
int Storage_PrintScreen_ViewPrevious(keypara k);
int Storage_PrintScreen_Back(keypara k);
int Storage_RecVideo_FrameS(keypara k);
int Storage_RecVideo_StartFrame(keypara k);
int Storage_RecVideo_EndFrame(keypara k);
int Storage_RecVideo_Next(keypara k);
int Storage_RecVideo_Save(keypara k);
int Storage_RecVideo_Cancel(keypara k);
int Storage_VideoTime(keypara k);
int Storage_RecVideo_Back(keypara k);
int Storage_InputDelete(keypara k);
int Storage_InputSure(keypara k);
int Storage_InputBack(keypara k);
int Storage_Cancel(keypara k);
int Storage_Overlay(keypara k);
int Storage_LoadSure(keypara k);
int Storage_LoadBack(keypara k);
int StorageMenuOp(keypara k);
int StorageMenuInputName(keypara k);
int StorageMenuLoad(keypara k);
void Storage_MenuInit();
// Default names and their item texts.
void StorageNamesInit();

// The screenshot viewer: switched off (View to 0, its overlay gone) while
// the Type is Ref or PrintScreen; drawn over the page while on.
void StorageViewOff();
void StorageDrawScreenshot();

// The Rec Video choice of Type follows the recorder: selectable only while
// it holds frames, the range and length then taken from the recording.
void StorageRecVideoRefresh();
// The parameters of a video asked for over SCPI (FILE:SAVE of ".mp4"),
// converted when the main loop hands the storage module key 243.
void SetVideoMessage(const char* name, int start, int end, int fps);
int StorageVideoFromScpi();
// The number pad of StartFrame or EndFrame, drawn while open.
void StorageNumPadDraw();
