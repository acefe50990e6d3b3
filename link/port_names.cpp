// Port number to device: the environment variable, else the machine's
// serial devices found in /dev and /sys, never the kernel console.
#include "link/port_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvex::link {

namespace {

// The first line of a small file, without trailing blanks; empty when the
// file cannot be read.
std::string FirstLine(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "re");
    if (!f)
        return std::string();
    // Long enough for a kernel command line (sysfs values are short).
    char buf[4096];
    std::string line;
    if (std::fgets(buf, sizeof buf, f))
        line = buf;
    std::fclose(f);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

std::vector<std::string> Entries(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return names;
    while (const dirent *e = readdir(d)) {
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

bool Exists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// "ttyS2" before "ttyS10": the name without its trailing digits, then the
// number they make.
bool NaturalLess(const std::string &a, const std::string &b)
{
    auto split = [](const std::string &s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        const std::string digits = s.substr(i);
        return std::make_pair(
            s.substr(0, i), digits.empty() || digits.size() > 9 ? -1L : std::atol(digits.c_str()));
    };
    const auto sa = split(a), sb = split(b);
    if (sa != sb)
        return sa < sb;
    return a < b;
}

// Two stat results that name the same device: the same device number for
// character devices, else the same file.
bool SameDevice(const struct stat &a, const struct stat &b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The kernel console's devices, as stat results.
class Consoles {
public:
    explicit Consoles(const std::string &root)
    {
        std::vector<std::string> names = {"console"};
        const std::string active = FirstLine(root + "/sys/class/tty/console/active");
        AddWords(active, names);
        AddCmdline(FirstLine(root + "/proc/cmdline"), names);
        for (const std::string &n : names) {
            if (n == "tty0")
                anyTerminal_ = true;  // the current virtual terminal, whichever it is
            struct stat st {};
            if (stat((root + "/dev/" + n).c_str(), &st) == 0)
                devices_.push_back(st);
        }
    }

    bool Holds(const struct stat &st) const
    {
        for (const struct stat &c : devices_) {
            if (SameDevice(c, st))
                return true;
        }
        // Virtual terminals are major 4, minors 1..63 (ttyS* start at 64).
        return anyTerminal_ && S_ISCHR(st.st_mode) && major(st.st_rdev) == 4 &&
               minor(st.st_rdev) < 64;
    }

private:
    static void AddWords(const std::string &text, std::vector<std::string> &names)
    {
        size_t i = 0;
        while (i < text.size()) {
            const size_t end = text.find(' ', i);
            const std::string word = text.substr(i, end == std::string::npos ? end : end - i);
            if (!word.empty())
                names.push_back(word);
            if (end == std::string::npos)
                break;
            i = end + 1;
        }
    }

    // console=NAME[,options] words before the "--" that ends the kernel's own.
    static void AddCmdline(const std::string &cmdline, std::vector<std::string> &names)
    {
        std::vector<std::string> words;
        AddWords(cmdline, words);
        for (const std::string &w : words) {
            if (w == "--")
                break;
            if (!StartsWith(w, "console="))
                continue;
            std::string name = w.substr(8);
            const size_t comma = name.find(',');
            if (comma != std::string::npos)
                name.resize(comma);
            if (StartsWith(name, "/dev/"))
                name = name.substr(5);
            if (!name.empty() && name.find('/') == std::string::npos)
                names.push_back(name);
        }
    }

    std::vector<struct stat> devices_;
    bool anyTerminal_ = false;
};

bool IsConsolePath(const std::string &path, const Consoles &consoles)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && consoles.Holds(st);
}

// The USB device a tty hangs off: the nearest folder above its sysfs device
// that has an idVendor. Fills the ids and strings; false when there is none.
bool FindUsbParent(const std::string &root, const std::string &name, SerialDevice &d)
{
    char real[PATH_MAX];
    if (!realpath((root + "/sys/class/tty/" + name + "/device").c_str(), real))
        return false;
    const std::string top = root + "/sys";
    std::string dir = real;
    while (dir.size() > top.size() && StartsWith(dir, top.c_str())) {
        const std::string vendor = FirstLine(dir + "/idVendor");
        if (!vendor.empty()) {
            d.usbId = vendor + ":" + FirstLine(dir + "/idProduct");
            d.serial = FirstLine(dir + "/serial");
            const std::string maker = FirstLine(dir + "/manufacturer");
            const std::string product = FirstLine(dir + "/product");
            d.product = maker.empty() ? product : product.empty() ? maker : maker + " " + product;
            return true;
        }
        dir.resize(dir.rfind('/'));
    }
    return false;
}

const char *Variable(int32_t port)
{
    const char *value = std::getenv(PortVariable(port).c_str());
    return value && *value ? value : nullptr;
}

PortDevice FromVariable(const char *value, const std::vector<SerialDevice> *listed,
                        const std::string &root)
{
    PortDevice d;
    d.path = value;
    d.fromVariable = true;
    d.console = IsKernelConsole(d.path, root);
    struct stat st {};
    if (listed && stat(d.path.c_str(), &st) == 0) {
        for (const SerialDevice &s : *listed) {
            struct stat other {};
            if (stat(s.path.c_str(), &other) == 0 && SameDevice(st, other)) {
                d.device = s;
                break;
            }
        }
    }
    return d;
}

}  // namespace

std::string PortVariable(int32_t port)
{
    return "KORVEX_COM" + std::to_string(port);
}

bool PortVariablesApply()
{
    return true;
}

const char *PortRuleText()
{
    return "the device in $KORVEX_COM<N> when that is set, else the N-th serial device\n"
           "attached: USB adapters in the order of their /dev/serial/by-id/ names\n"
           "(an adapter keeps its number when replugged), then other USB and ACM\n"
           "devices, then the machine's own UARTs. The kernel console is never used.\n";
}

bool IsKernelConsole(const std::string &path, const std::string &root)
{
    return IsConsolePath(path, Consoles(root));
}

std::vector<SerialDevice> ListSerialDevices(const std::string &root)
{
    const Consoles consoles(root);
    std::vector<SerialDevice> byId, usb, uarts;

    // The by-id names, each taken for the tty its link points at; an
    // adapter with several names is listed once, under the first.
    std::vector<std::string> links = Entries(root + "/dev/serial/by-id");
    std::sort(links.begin(), links.end());
    std::vector<std::string> named;  // kernel names that have a by-id name
    for (const std::string &l : links) {
        char target[PATH_MAX];
        const std::string link = root + "/dev/serial/by-id/" + l;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        const std::string name = BaseName(target);
        if (std::find(named.begin(), named.end(), name) != named.end())
            continue;
        SerialDevice d;
        d.name = name;
        d.path = root + "/dev/" + name;
        d.byId = link;
        d.usb = true;
        if (!Exists(d.path) || IsConsolePath(d.path, consoles))
            continue;
        FindUsbParent(root, name, d);
        named.push_back(name);
        byId.push_back(d);
    }

    std::vector<std::string> ttys = Entries(root + "/sys/class/tty");
    std::sort(ttys.begin(), ttys.end(), NaturalLess);
    for (const std::string &name : ttys) {
        if (std::find(named.begin(), named.end(), name) != named.end())
            continue;
        SerialDevice d;
        d.name = name;
        d.path = root + "/dev/" + name;
        d.usb = FindUsbParent(root, name, d) || StartsWith(name, "ttyUSB") ||
                StartsWith(name, "ttyACM");
        // A UART type of 0 is a port the driver reserves but found nothing on.
        const std::string type = FirstLine(root + "/sys/class/tty/" + name + "/type");
        const bool uart = !d.usb && !type.empty() && std::atoi(type.c_str()) != 0;
        if ((!d.usb && !uart) || !Exists(d.path) || IsConsolePath(d.path, consoles))
            continue;
        (d.usb ? usb : uarts).push_back(d);
    }

    byId.insert(byId.end(), usb.begin(), usb.end());
    byId.insert(byId.end(), uarts.begin(), uarts.end());
    return byId;
}

PortDevice ResolvePort(int32_t port, const std::string &root)
{
    if (const char *value = Variable(port))
        return FromVariable(value, nullptr, root);
    return ResolvePort(port, ListSerialDevices(root), root);
}

PortDevice ResolvePort(int32_t port, const std::vector<SerialDevice> &listed,
                       const std::string &root)
{
    if (const char *value = Variable(port))
        return FromVariable(value, &listed, root);
    PortDevice d;
    if (port >= 1 && static_cast<size_t>(port) <= listed.size()) {
        d.device = listed[static_cast<size_t>(port) - 1];
        d.path = d.device.path;
    }
    return d;
}

}  // namespace korvex::link
