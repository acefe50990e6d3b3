// The port naming rule on fake machines: which device each port number
// names without KORVEX_COM<n>, in which order, and that the kernel console
// is never listed and never opened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "link/link.h"
#include "link/port_names.h"
#include "link/port_posix.h"
#include "tests/support/fake_tree.h"
#include "tests/support/open_watch.h"
#include "tests/support/safe_ports.h"

using korvex::link::ListSerialDevices;
using korvex::link::ResolvePort;
using korvex::test::FakeTree;
using korvex::test::OpenWatch;

namespace {

// The port variables are unset for the test's lifetime (the rule then looks
// at the fake machine), and aimed nowhere again afterwards.
struct NoPortVariables {
    NoPortVariables()
    {
        for (int n = 1; n <= 8; ++n)
            unsetenv(korvex::link::PortVariable(n).c_str());
    }
    ~NoPortVariables() { korvex::test::AimPortsNowhere(); }
};

// A pty whose slave side nobody has opened; the master stays with the test.
struct Pty {
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = ptsname(master);
    }
    ~Pty()
    {
        if (master >= 0)
            close(master);
    }
    int master = -1;
    std::string slave;
};

struct ListingCase {
    const char *what;
    std::function<void(FakeTree &)> lay;
    std::vector<std::string> names;  // kernel names in port order
};

}  // namespace

TEST(PortNames, DevicesInPortOrderWithoutTheConsole)
{
    const ListingCase cases[] = {
        {"nothing attached: UARTs the driver reserves but found nothing on are not listed",
         [](FakeTree &t) {
             t.AddUart("ttyS0", 0);
             t.AddUart("ttyS1", 0);
             t.SetConsole("tty0");
         },
         {}},
        {"two adapters by their by-id names, whatever their ttyUSB numbers",
         [](FakeTree &t) {
             t.AddUsb("ttyUSB0", "usb-Zeta_Cable_Z1-if00-port0", "067b", "2303", "Z1", 1);
             t.AddUsb("ttyUSB1", "usb-FTDI_FT232R_A50285BI-if00-port0", "0403", "6001", "A50285BI",
                      2);
         },
         {"ttyUSB1", "ttyUSB0"}},
        {"by-id adapters, then an ACM device without one, then a real UART; console left out",
         [](FakeTree &t) {
             t.AddUart("ttyS0", 4);
             t.AddUart("ttyS1", 4);
             t.AddUsb("ttyACM0", "", "2341", "0043", "", 3);
             t.AddUsb("ttyUSB3", "usb-B_Cable-if00-port0", "1a86", "7523", "", 1);
             t.SetConsole("tty0 ttyS0");
         },
         {"ttyUSB3", "ttyACM0", "ttyS1"}},
        {"console named on the kernel command line; UARTs in numeric order",
         [](FakeTree &t) {
             t.AddUart("ttyS10", 4);
             t.AddUart("ttyS2", 4);
             t.AddUart("ttyS1", 4);
             t.AddUart("ttyS0", 4);
             t.SetConsole("", "root=/dev/vda console=ttyS1,115200n8 quiet");
         },
         {"ttyS0", "ttyS2", "ttyS10"}},
        {"a console= after '--' is init's argument, not the kernel's",
         [](FakeTree &t) {
             t.AddUart("ttyS0", 4);
             t.SetConsole("", "quiet -- console=ttyS0");
         },
         {"ttyS0"}},
        {"a USB adapter that is the console keeps no port, by-id name or not",
         [](FakeTree &t) {
             t.AddUsb("ttyUSB0", "usb-A_Cable-if00-port0", "0403", "6001", "", 1);
             t.AddUsb("ttyUSB1", "usb-B_Cable-if00-port0", "0403", "6001", "", 2);
             t.SetConsole("ttyUSB0");
         },
         {"ttyUSB1"}},
    };
    NoPortVariables unset;
    for (const ListingCase &c : cases) {
        SCOPED_TRACE(c.what);
        FakeTree tree;
        c.lay(tree);
        const auto listed = ListSerialDevices(tree.Root());
        std::vector<std::string> names;
        for (const auto &d : listed)
            names.push_back(d.name);
        EXPECT_EQ(names, c.names);
        for (size_t i = 0; i <= c.names.size(); ++i) {
            const auto port = ResolvePort(static_cast<int32_t>(i + 1), tree.Root());
            EXPECT_EQ(port.path, i < c.names.size() ? tree.Path("dev/" + c.names[i]) : "") << i;
            EXPECT_FALSE(port.fromVariable);
        }
    }
}

TEST(PortNames, AdapterDetailsAndAVariableThatNamesAListedDevice)
{
    NoPortVariables unset;
    FakeTree tree;
    tree.AddUsb("ttyUSB4", "usb-FTDI_FT232R_A50285BI-if00-port0", "0403", "6001", "A50285BI", 2);
    const auto listed = ListSerialDevices(tree.Root());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].byId, tree.Path("dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"));
    EXPECT_TRUE(listed[0].usb);
    EXPECT_EQ(listed[0].usbId, "0403:6001");
    EXPECT_EQ(listed[0].serial, "A50285BI");
    EXPECT_EQ(listed[0].product, "Maker2 Cable");

    // Through its by-id link in a variable: the same device, known as such.
    setenv("KORVEX_COM3", listed[0].byId.c_str(), 1);
    const auto port = ResolvePort(3, listed, tree.Root());
    EXPECT_TRUE(port.fromVariable);
    EXPECT_EQ(port.path, listed[0].byId);
    EXPECT_EQ(port.device.name, "ttyUSB4");
    EXPECT_EQ(port.device.usbId, "0403:6001");
}

TEST(PortNames, TheConsoleIsNeverOpenedNotEvenThroughAVariable)
{
    NoPortVariables unset;
    Pty console, uart;
    ASSERT_FALSE(console.slave.empty());
    ASSERT_FALSE(uart.slave.empty());
    FakeTree tree;
    tree.AddUart("ttyS0", 4, console.slave);
    tree.AddUart("ttyS1", 4, uart.slave);
    tree.SetConsole("ttyS0");
    const OpenWatch consoleOpens(console.slave);
    const OpenWatch uartOpens(uart.slave);
    const std::string oldRoot = korvex::link::SerialSetDeviceRoot(tree.Root());

    // Port 1 is the first UART that is not the console.
    EXPECT_EQ(korvex::link::PortOpen(1, 38400), 1);
    EXPECT_EQ(korvex::link::PortClose(), 1);
    EXPECT_EQ(uartOpens.Opens(), 1);
    EXPECT_EQ(korvex::link::PortOpen(2, 38400), 0);
    EXPECT_EQ(std::string(korvex::link::SerialOpenOutcome()).rfind("no-device", 0), 0u);

    // Named directly, through its /dev name or its real node: refused.
    for (const std::string &path : {tree.Path("dev/ttyS0"), console.slave}) {
        setenv("KORVEX_COM1", path.c_str(), 1);
        EXPECT_EQ(korvex::link::PortOpen(1, 38400), 0) << path;
        EXPECT_EQ(std::string(korvex::link::SerialOpenOutcome()).rfind("console", 0), 0u)
            << korvex::link::SerialOpenOutcome();
    }
    EXPECT_EQ(consoleOpens.Opens(), 0);
    korvex::link::SerialSetDeviceRoot(oldRoot);

    // This machine's own console, by the rule's decision alone (it is
    // never opened here, not even to prove the refusal): every device the
    // kernel lists as its console is refused and is no port's device.
    const std::string active = [] {
        std::string text;
        if (FILE *f = std::fopen("/sys/class/tty/console/active", "re")) {
            char buf[256];
            if (std::fgets(buf, sizeof buf, f))
                text = buf;
            std::fclose(f);
        }
        return text;
    }();
    for (size_t i = 0; i < active.size();) {
        const size_t end = active.find_first_of(" \n", i);
        const std::string name = active.substr(i, end - i);
        i = end == std::string::npos ? active.size() : end + 1;
        if (name.empty() || access(("/dev/" + name).c_str(), F_OK) != 0)
            continue;
        SCOPED_TRACE(name);
        setenv("KORVEX_COM1", ("/dev/" + name).c_str(), 1);
        EXPECT_TRUE(ResolvePort(1).console);
        for (const auto &d : ListSerialDevices())
            EXPECT_NE(d.name, name);
    }
}
