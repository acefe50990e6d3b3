// A fake machine for the port naming rule: a temporary folder holding the
// dev/, sys/ and proc/cmdline that the rule reads, laid out as the kernel
// and udev lay them out. Device nodes are plain files unless a test aims
// one at a real pty slave; nothing here ever opens a node.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex::test {

class FakeTree {
public:
    FakeTree()
    {
        char tmpl[] = "/tmp/korvex-tree-XXXXXX";
        if (mkdtemp(tmpl))
            root_ = tmpl;
        Dir("dev");
        Dir("sys/class/tty");
        Dir("sys/devices/platform/serial8250");
        Dir("proc");
    }
    ~FakeTree()
    {
        if (!root_.empty())
            nftw(
                root_.c_str(),
                [](const char *path, const struct stat *, int, struct FTW *) {
                    return std::remove(path);
                },
                16, FTW_DEPTH | FTW_PHYS);
    }
    FakeTree(const FakeTree &) = delete;
    FakeTree &operator=(const FakeTree &) = delete;

    const std::string &Root() const { return root_; }
    std::string Path(const std::string &rel) const { return root_ + "/" + rel; }

    // A USB serial adapter or ACM device `name` on USB port 1-`slot`, with
    // a /dev/serial/by-id/ name unless `byId` is empty. `node`: a real
    // device for /dev/<name> to point at, else a plain file stands there.
    void AddUsb(const std::string &name, const std::string &byId, const std::string &vendor,
                const std::string &product, const std::string &serial, int slot,
                const std::string &node = std::string())
    {
        const std::string usb = "sys/devices/pci0/usb1/1-" + std::to_string(slot);
        Dir(usb + "/1-" + std::to_string(slot) + ":1.0");
        File(usb + "/idVendor", vendor + "\n");
        File(usb + "/idProduct", product + "\n");
        if (!serial.empty())
            File(usb + "/serial", serial + "\n");
        File(usb + "/manufacturer", "Maker" + std::to_string(slot) + "\n");
        File(usb + "/product", "Cable\n");
        Dir("sys/class/tty/" + name);
        Link("../../../devices/pci0/usb1/1-" + std::to_string(slot) + "/1-" + std::to_string(slot) +
                 ":1.0",
             "sys/class/tty/" + name + "/device");
        Node(name, node);
        if (!byId.empty()) {
            Dir("dev/serial/by-id");
            Link("../../" + name, "dev/serial/by-id/" + byId);
        }
    }

    // A platform UART whose driver reports UART type `type` (0: none found).
    void AddUart(const std::string &name, int type, const std::string &node = std::string())
    {
        Dir("sys/class/tty/" + name);
        File("sys/class/tty/" + name + "/type", std::to_string(type) + "\n");
        Link("../../../devices/platform/serial8250", "sys/class/tty/" + name + "/device");
        Node(name, node);
    }

    // The kernel's console list and command line.
    void SetConsole(const std::string &active, const std::string &cmdline = "quiet")
    {
        Dir("sys/class/tty/console");
        File("sys/class/tty/console/active", active + "\n");
        File("proc/cmdline", cmdline + "\n");
    }

    void File(const std::string &rel, const std::string &text) const
    {
        if (FILE *f = std::fopen(Path(rel).c_str(), "w")) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
    }

private:
    void Dir(const std::string &rel) const
    {
        std::string path = root_;
        size_t i = 0;
        while (i <= rel.size()) {
            const size_t slash = rel.find('/', i);
            path = root_ + "/" + rel.substr(0, slash);
            mkdir(path.c_str(), 0755);
            if (slash == std::string::npos)
                break;
            i = slash + 1;
        }
    }
    void Link(const std::string &target, const std::string &rel) const
    {
        if (symlink(target.c_str(), Path(rel).c_str()) != 0)
            std::perror(rel.c_str());
    }
    void Node(const std::string &name, const std::string &node) const
    {
        if (node.empty())
            File("dev/" + name, "");
        else
            Link(node, "dev/" + name);
    }

    std::string root_;
};

}  // namespace korvex::test
