// The USBTMC device (USB488 subclass) on the USB device port: a host's VISA
// library sends SCPI command lines on the bulk-OUT endpoint and reads their
// answers on the bulk-IN endpoint. Started by the SCPI thread: the ep0 thread
// serves the control requests; once the host selects the configuration a
// source thread keeps the bulk-IN endpoint open and a sink thread takes the
// commands, posts them on the SCPI queue and writes the answers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Starts the device; logs "usb-tmc init error" when it cannot.
void UsbTmcInit();
// 0, or -1 when the gadget file system or the descriptors failed, or the ep0
// thread could not start.
int usb_tmc_init();

// Set by a bus suspend, cleared by a connect or by the host's next request
// (its traffic is the resume, which gadgetfs does not report); the system refresh releases a
// key lock taken over USB while it is set.
bool UsbTmcSuspended();
// A host is connected (device status bit 1).
bool UsbTmcConnected();

// The string descriptor `id` (0: the language list) in `out` (255 bytes):
// UTF-16LE of at most 126 characters; its length, or -22 for an unknown id or
// text that is not UTF-8 of one to three bytes per character.
int UsbTmcStringDescriptor(int id, uint8_t* out);
// Re-reads the serial number (string 3) from "SN.txt": the text after the last
// blank of the "[SERIAL]" line, at most 29 characters; "0000000000000" when
// the file or the line is missing.
void GetSerialNumber();
std::string UsbTmcSerialNumber();

// The descriptor block written to the controller's control file (86 bytes)
// and an endpoint's configuration block (18 bytes).
std::string UsbTmcDescriptorBlock();
std::string UsbTmcEndpointBlock(uint8_t address);
// The 24-byte GET_CAPABILITIES reply.
std::string UsbTmcCapabilities();
