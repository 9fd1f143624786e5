// The serial-bus trigger types (RS232, I2C, SPI, CAN, LIN): their settings
// gathered from the items, the baud tables, and the bus pages' handlers.
#pragma once
#include "core/state/sys_run_info_layout.h"
#include "trigger/analog/task_trigger.h"

constexpr int kRs232Bauds = 14, kCanBauds = 19, kLinBauds = 6;
extern const int RS232BaudRate[kRs232Bauds];
extern const int CANBaudRate[kCanBauds];
extern const int LINBaudRate[kLinBauds];

// One bus type's run-state block, read from the items before the run state's
// lock is taken (the menu takes it too) and written under it.
struct BusSettings {
  int type;
  int16_t source;
  Rs232Trigger rs232;
  I2cTrigger i2c;
  SpiTrigger spi;
  CanTrigger can;
  LinTrigger lin;
};
BusSettings GatherBusSettings(int type, double sampleRate);
void ApplyBusSettings(const BusSettings& s, _SysRunInfo& r);

// The bus pages' items and page operations (trigger_bus_pages.cpp).
struct menu;
void DefineBusMenu(menu* record);
// Start-up: pattern editors closed and cleared, pattern items switched by
// their When items, the I2C texts.
void InitBusSettings();

// Item handlers of the bus pages (the pattern editors' own: bus_pattern_editor.h).
int Decode_RS232Source(keypara k);
int Decode_RS232BaudRate(keypara k);
int Decode_RS232SpecialBPS(keypara k);
int Decode_RS232Next1(keypara k);
int Decode_RS232Polarity(keypara k);
int Decode_RS232DataWide(keypara k);
int Decode_RS232BitSeq(keypara k);
int Decode_RS232StopBit(keypara k);
int Decode_RS232Next2(keypara k);
int Decode_RS232Parity(keypara k);
int Decode_RS232When(keypara k);
int Decode_RS232CommSet(keypara k);
int Decode_RS232Back(keypara k);
int Decode_I2CScl(keypara k);
int Decode_I2CSda(keypara k);
int Decode_I2CDirection(keypara k);
int Decode_I2CNext1(keypara k);
int Decode_I2CWhen(keypara k);
int Decode_I2CAddrSet(keypara k);
int Decode_I2CDataSet(keypara k);
int Decode_I2CCommSet(keypara k);
int Decode_I2CBack(keypara k);
int Decode_I2C_AddrSet_Mode(keypara k);
int Decode_I2C_AddrSet_Back(keypara k);
int Decode_I2C_DataSet_Bytes(keypara k);
int Decode_I2C_DataSet_Back(keypara k);
int Decode_SPIScl(keypara k);
int Decode_SPISs(keypara k);
int Decode_SPIMOSI(keypara k);
int Decode_SPINext1(keypara k);
int Decode_SPIMISO(keypara k);
int Decode_SPI_SS_POLARITY(keypara k);
int Decode_SPI_SCL_EDGE(keypara k);
int Decode_SPI_MOSI_POLARITY(keypara k);
int Decode_SPINext2(keypara k);
int Decode_SPI_MISO_POLARITY(keypara k);
int Decode_SPI_Bitseq(keypara k);
int Decode_SPI_BitWide(keypara k);
int Decode_SPI_When(keypara k);
int Decode_SPINext3(keypara k);
int Decode_SPI_IdleTime(keypara k);
int Decode_SPI_Data_len(keypara k);
int Decode_SPI_DATA(keypara k);
int Decode_SPI_Adj_HexOrBin(keypara k);
int Decode_SPINext4(keypara k);
int Decode_SPICommSet(keypara k);
int Decode_SPIBack(keypara k);
int Decode_CANSource(keypara k);
int Decode_CAN_Singal_type(keypara k);
int Decode_CANCommSet(keypara k);
int Decode_CANNext1(keypara k);
int Decode_CANWhen(keypara k);
int Decode_CANIDSet(keypara k);
int Decode_CANDataSet(keypara k);
int Decode_CANNext2(keypara k);
int Decode_CANBSP(keypara k);
int Decode_CANSpecialBPS(keypara k);
int Decode_CANBack(keypara k);
int Decode_CANID_Format(keypara k);
int Decode_CANID_SET(keypara k);
int Decode_CANID_Direction(keypara k);
int Decode_CANID_Adj_HexOrBin(keypara k);
int Decode_CANIDBack(keypara k);
int Decode_CANData_Len(keypara k);
int Decode_CANDATA_SET(keypara k);
int Decode_CANDATA_Adj_HexOrBin(keypara k);
int Decode_LINSource(keypara k);
int Decode_LIN_Polariyt_type(keypara k);
int Decode_LINCommSet(keypara k);
int Decode_LINNext1(keypara k);
int Decode_LIN_Version(keypara k);
int Decode_LINBSP(keypara k);
int Decode_LINSpecialBPS(keypara k);
int Decode_LIN_ID_PARITY(keypara k);
int Decode_LINNext2(keypara k);
int Decode_LINWhen(keypara k);
int Decode_LINIDSet(keypara k);
int Decode_LINDataSet(keypara k);
int Decode_LINErrorSet(keypara k);
int Decode_LINNext3(keypara k);
int Decode_LIN_DATALEN_SET(keypara k);
int Decode_LIN_DATALEN(keypara k);
int Decode_LINBACK(keypara k);
int Decode_LINID_SET(keypara k);
int Decode_LINID_Adj_HexOrBin(keypara k);
int Decode_LINIDSetBack(keypara k);
int Decode_LINData_Len(keypara k);
int Decode_LINDATA_SET(keypara k);
int Decode_LINDATA_Adj_HexOrBin(keypara k);
int Decode_LINError_Set(keypara k);
