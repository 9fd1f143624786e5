// What the USBTMC device's control and bulk sides share.
#pragma once
#include <atomic>
#include <cstdint>

constexpr uint8_t kUsbTmcEpInAddress = 0x81, kUsbTmcEpOutAddress = 0x03;
constexpr uint16_t kUsbTmcMaxPacket = 512;
constexpr int kUsbTmcHeaderSize = 12;

// USBTMC_status values of the class requests' replies.
constexpr uint8_t kUsbTmcStatusSuccess = 0x01, kUsbTmcStatusPending = 0x02, kUsbTmcStatusFailed = 0x80,
                  kUsbTmcStatusNotInProgress = 0x81;

// The bulk side's state that control requests read and change.
struct UsbTmcBulkState {
  std::atomic<int> speed{0};           // current_speed: 0 none, 1 low, 2 full, 3 high
  std::atomic<int> suspendedSpeed{0};  // the speed a bus suspend took away (0: none)
  std::atomic<int> sourceFd{-1};       // the bulk-IN endpoint, opened by the source thread
  std::atomic<int> sinkFd{-1};         // the bulk-OUT endpoint, opened by the sink thread
  std::atomic<int> inTag{0};           // bTag of the bulk-IN transfer being served (0: none)
  std::atomic<int> lastInTag{0};       // bTag of the last bulk-IN transfer the sink ended
  std::atomic<uint32_t> lastInBytes{0};  // the data bytes it queued
  std::atomic<int> outTag{0};          // bTag of the bulk-OUT transfer being received (0: none)
  std::atomic<int> abortIn{0};  // bTag of the bulk-IN transfer to abort, until the host has its end
  std::atomic<int> abortOut{0};        // bTag of the bulk-OUT transfer to abort
  std::atomic<bool> clear{false};      // INITIATE_CLEAR asked, not yet done
  std::atomic<uint32_t> bytesIn{0};    // data bytes of the last aborted bulk-IN transfer sent
  std::atomic<uint32_t> bytesOut{0};   // data bytes of the last aborted bulk-OUT transfer received
  std::atomic<bool> answerReady{false};  // an answer waits to be read (MAV)
  std::atomic<uint64_t> awaited{0};      // ticket of the answer the sink waits for (0: none)
};
UsbTmcBulkState& UsbTmcBulk();

// Traffic from the host after a bus suspend: the bus has resumed (gadgetfs
// reports no resume), so the speed the suspend took away is back.
void UsbTmcResumed();

// Thread bodies started on SET_CONFIGURATION 1 (argument: the endpoint's path).
void simple_source_thread(const char* path, const std::atomic<bool>* stop);
void simple_sink_thread(const char* path, const std::atomic<bool>* stop);
// Opens an endpoint file and writes its configuration block; the handle, or
// minus errno.
int ep_config(const char* path, const char* who, uint8_t address);
// Closes an endpoint or the control file, first flushing bytes the host has
// not taken (unless called from the ep0 thread); sets `*fd` to -1.
void close_fd(std::atomic<int>* fd, bool fromEp0);
