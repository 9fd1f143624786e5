"""The host side of the simulated board's USB device port.

The instrument's USB device port is a set of Unix sockets under the root's
`dev/gadget/` (SOCK_SEQPACKET: one message per USB packet, a zero-length
packet is an empty message):

- the controller's control file (the one not named ep*): connecting plugs the
  host in, closing unplugs it. A control request is one message, the 8-byte
  setup packet (little-endian) followed by the OUT data; its answer is one
  message, a status byte (0 done, 1 stalled) and the IN data.
- `ep1in`, `ep3out`: the bulk endpoints, one packet (at most 512 bytes) per
  message. A transfer ends at a short packet.

`Port` speaks this directly (the endpoint-level tests). `Backend` is a pyusb
backend over a `Port`, and `install(root)` makes pyusb, and so pyvisa-py's USB
resources and other pyusb clients, find the simulated instrument:

    import sim_usb, pyvisa
    sim_usb.install("root")
    rm = pyvisa.ResourceManager("@py")
    print(rm.open_resource(rm.list_resources("USB?*")[0]).query("*IDN?"))
"""
import array
import errno
import os
import socket
import struct
import time

from scope_support import WAIT_LIMIT, wait_until

# Seconds a request waits for the device's answer; only a fault waits this long.
REPLY_LIMIT = WAIT_LIMIT

PACKET = 512
SETUP = struct.Struct("<BBHHH")
DONE, STALLED = 0, 1


class Stall(Exception):
    """The device stalled a control request."""


class Timeout(Exception):
    """Nothing came in time."""


class Port:
    """A host plugged into the instrument's USB device port."""

    def __init__(self, root):
        self.dir = os.path.join(root, "dev", "gadget")
        names = [n for n in os.listdir(self.dir) if not n.startswith("ep")]
        if len(names) != 1:
            raise FileNotFoundError("no controller file in %s" % self.dir)
        self.controller = os.path.join(self.dir, names[0])
        self.ctl = None
        self.eps = {}
        self.plug()

    def _connect(self, path):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        s.connect(path)
        return s

    def plug(self):
        self.ctl = self._connect(self.controller)

    def unplug(self):
        for s in self.eps.values():
            s.close()
        self.eps = {}
        if self.ctl:
            self.ctl.close()
            self.ctl = None

    def reset(self):
        """A bus reset: the device sees a disconnect and a new connect."""
        self.unplug()
        time.sleep(0.05)
        self.plug()

    def suspend(self):
        self.ctl.send(b"S")

    def control(self, request_type, request, value, index, data_or_length=0, timeout=REPLY_LIMIT):
        """One control request; the IN data (bytes) or the OUT byte count."""
        is_in = request_type & 0x80
        length = data_or_length if is_in else len(data_or_length)
        payload = b"" if is_in else bytes(data_or_length)
        self.ctl.settimeout(timeout)
        self.ctl.send(SETUP.pack(request_type, request, value, index, length) + payload)
        try:
            reply = self.ctl.recv(1 + 65535)
        except socket.timeout:
            raise Timeout("control request %02x.%02x" % (request_type, request)) from None
        if not reply:
            raise ConnectionError("the device port closed")
        if reply[0] == STALLED:
            raise Stall("%02x.%02x" % (request_type, request))
        return reply[1:] if is_in else len(payload)

    def endpoint(self, address):
        name = "ep%d%s" % (address & 0x0F, "in" if address & 0x80 else "out")
        if name not in self.eps:
            # The device sets its endpoints up on its own thread once a configuration
            # is selected: connected to as soon as they are there.
            path = os.path.join(self.dir, name)
            self.eps[name] = wait_until(lambda: self._connect(path), interval=0.005)
        return self.eps[name]

    def write(self, address, data):
        """One bulk-OUT transfer, cut into packets (no zero-length packet)."""
        s = self.endpoint(address)
        for at in range(0, max(len(data), 1), PACKET):
            s.send(bytes(data[at:at + PACKET]))
        return len(data)

    def packet(self, address, timeout):
        """One bulk-IN packet (b"" is a zero-length packet)."""
        s = self.endpoint(address)
        s.settimeout(max(timeout, 0.001))
        try:
            return s.recv(PACKET)
        except socket.timeout:
            raise Timeout("bulk-IN read") from None

    def read(self, address, size, timeout=REPLY_LIMIT):
        """One bulk-IN transfer of at most `size` bytes: packets up to a short one."""
        end = time.monotonic() + timeout
        data = bytearray()
        while True:
            p = self.packet(address, end - time.monotonic())
            data += p
            if len(p) < PACKET or len(data) >= size:
                return bytes(data)

    def close(self):
        self.unplug()


class Descriptor:
    """A descriptor as pyusb's backends hand it over: fields as attributes."""

    def __init__(self, **fields):
        self.__dict__.update(fields)


def _device_descriptor(raw):
    f = struct.unpack("<BBHBBBBHHHBBBB", raw[:18])
    names = ("bLength bDescriptorType bcdUSB bDeviceClass bDeviceSubClass bDeviceProtocol bMaxPacketSize0 "
             "idVendor idProduct bcdDevice iManufacturer iProduct iSerialNumber bNumConfigurations").split()
    return Descriptor(**dict(zip(names, f)), bus=1, address=1, port_number=1, port_numbers=(1,), speed=3)


def _parse_config(raw):
    """The configuration, its interfaces and their endpoints from a full configuration descriptor."""
    c = struct.unpack("<BBHBBBBB", raw[:9])
    config = Descriptor(**dict(zip("bLength bDescriptorType wTotalLength bNumInterfaces bConfigurationValue "
                                   "iConfiguration bmAttributes bMaxPower".split(), c)),
                        extra_descriptors=[], interfaces=[])
    at = c[0]
    while at + 2 <= len(raw) and raw[at] >= 2:
        length, kind = raw[at], raw[at + 1]
        if kind == 4:
            i = struct.unpack("<BBBBBBBBB", raw[at:at + 9])
            config.interfaces.append(Descriptor(**dict(zip(
                "bLength bDescriptorType bInterfaceNumber bAlternateSetting bNumEndpoints bInterfaceClass "
                "bInterfaceSubClass bInterfaceProtocol iInterface".split(), i)), extra_descriptors=[], endpoints=[]))
        elif kind == 5 and config.interfaces:
            e = struct.unpack("<BBBBHB", raw[at:at + 7])
            config.interfaces[-1].endpoints.append(Descriptor(**dict(zip(
                "bLength bDescriptorType bEndpointAddress bmAttributes wMaxPacketSize bInterval".split(), e)),
                bRefresh=0, bSynchAddress=0, extra_descriptors=[]))
        at += length
    return config


def _timeout_error(what):
    import usb.core

    return usb.core.USBTimeoutError(what, -7, errno.ETIMEDOUT)


def _usb_error(what, err):
    import usb.core

    return usb.core.USBError(what, None, err)


def make_backend_class():
    import usb.backend

    class Backend(usb.backend.IBackend):
        """A pyusb backend whose one device is the simulated instrument."""

        def __init__(self, root):
            self.root = root
            self.port = None
            self.desc = None
            self.config = None

        def _port(self):
            if self.port is None:
                self.port = Port(self.root)
                self.desc = _device_descriptor(self.port.control(0x80, 6, 0x0100, 0, 18))
                head = self.port.control(0x80, 6, 0x0200, 0, 9)
                total = struct.unpack_from("<H", head, 2)[0]
                self.config = _parse_config(self.port.control(0x80, 6, 0x0200, 0, total))
            return self.port

        def enumerate_devices(self):
            if os.path.isdir(os.path.join(self.root, "dev", "gadget")):
                try:
                    self._port()
                except (OSError, Timeout):
                    return
                yield "sim-usb"

        def get_device_descriptor(self, dev):
            self._port()
            return self.desc

        def get_configuration_descriptor(self, dev, config):
            self._port()
            if config != 0:
                raise IndexError("configuration %d" % config)
            return self.config

        def get_interface_descriptor(self, dev, intf, alt, config):
            c = self.get_configuration_descriptor(dev, config)
            matches = [i for i in c.interfaces if i.bInterfaceNumber == intf and i.bAlternateSetting == alt]
            if not matches:
                raise IndexError("interface %d.%d" % (intf, alt))
            return matches[0]

        def get_endpoint_descriptor(self, dev, ep, intf, alt, config):
            return self.get_interface_descriptor(dev, intf, alt, config).endpoints[ep]

        def open_device(self, dev):
            return self._port()

        def close_device(self, dev_handle):
            pass

        def _control(self, *args, timeout):
            try:
                return self.port.control(*args, timeout=timeout)
            except Stall:
                raise _usb_error("Pipe error", errno.EPIPE) from None
            except Timeout:
                raise _timeout_error("Operation timed out") from None

        def set_configuration(self, dev_handle, config_value):
            self._control(0x00, 9, config_value, 0, b"", timeout=REPLY_LIMIT)

        def get_configuration(self, dev_handle):
            return self._control(0x80, 8, 0, 0, 1, timeout=REPLY_LIMIT)[0]

        def set_interface_altsetting(self, dev_handle, intf, altsetting):
            self._control(0x01, 11, altsetting, intf, b"", timeout=REPLY_LIMIT)

        def claim_interface(self, dev_handle, intf):
            pass

        def release_interface(self, dev_handle, intf):
            pass

        def is_kernel_driver_active(self, dev_handle, intf):
            return False

        def clear_halt(self, dev_handle, ep):
            pass

        def reset_device(self, dev_handle):
            dev_handle.reset()

        def bulk_write(self, dev_handle, ep, intf, data, timeout):
            return dev_handle.write(ep, data.tobytes())

        def bulk_read(self, dev_handle, ep, intf, buff, timeout):
            seconds = timeout / 1000.0 if timeout else 3600.0
            try:
                data = dev_handle.read(ep, len(buff), seconds)
            except Timeout:
                raise _timeout_error("Operation timed out") from None
            if len(data) > len(buff):
                raise _usb_error("Overflow", errno.EOVERFLOW)
            buff[:len(data)] = array.array("B", data)
            return len(data)

        def ctrl_transfer(self, dev_handle, bmRequestType, bRequest, wValue, wIndex, data, timeout):
            seconds = timeout / 1000.0 if timeout else 3600.0
            if bmRequestType & 0x80:
                got = self._control(bmRequestType, bRequest, wValue, wIndex, len(data), timeout=seconds)
                data[:len(got)] = array.array("B", got)
                return len(got)
            return self._control(bmRequestType, bRequest, wValue, wIndex, data.tobytes(), timeout=seconds)

    return Backend


def install(root):
    """Makes pyusb's own backend search return the simulated instrument's
    port, so clients that call usb.core.find() reach it unmodified."""
    import usb.backend.libusb0
    import usb.backend.libusb1
    import usb.backend.openusb

    backend = make_backend_class()(os.path.abspath(root))
    for module in (usb.backend.libusb1, usb.backend.openusb, usb.backend.libusb0):
        module.get_backend = lambda *args, **kwargs: backend
    return backend
