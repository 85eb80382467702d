// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-view: opens one window template of a definition document with the
// plug-in's runtime (its classes, fonts and image sets), embedded in a
// top-level X window as the editor is, and can write it to a PNG file. For
// looking at views outside the plug-in's own document, such as the text
// samples of the tests.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/Application.h"
#include "Core/Timer.h"
#include "Core/XMLData.h"
#include "EditorHost.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

extern char** environ;

namespace {

using lagwell::host::EditorWindow;

const char* const kUsage =
    "usage: lagwell-view --document FILE --template NAME [--screenshot FILE] [--after-frames N] [--run-ms MS]\n"
    "  Opens the window template NAME of the definition document FILE (text, compiled on the fly,\n"
    "  or already compiled by lagwell-xmlc) in a window of its own.\n"
    "  --screenshot FILE   writes the window to FILE (PNG) after N frames (--after-frames, 10)\n"
    "  --run-ms MS         keeps the window open this long, or until it is closed\n";

struct Options {
    std::string document;
    std::string templateName;
    std::string screenshot;
    int afterFrames = 10;
    long runMs = -1;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v) return false;
        ++i;
        if (a == "--document")
            o.document = v;
        else if (a == "--template")
            o.templateName = v;
        else if (a == "--screenshot")
            o.screenshot = v;
        else if (a == "--after-frames")
            o.afterFrames = std::atoi(v);
        else if (a == "--run-ms")
            o.runMs = std::atol(v);
        else
            return false;
    }
    return !o.document.empty() && !o.templateName.empty() && o.afterFrames >= 0;
}

// The tree of the document: its timers run on the program's loop.
class CViewRoot final : public zel::CObject, public zel::IRunLoopOwner {
public:
    ~CViewRoot() override { removeAllChildren(); }
    zel::platform::IRunLoop& ownRunLoop() override { return loop; }
    zel::platform::CStandaloneRunLoop loop;
};

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The compiled bytes of `path`; a text document goes through the compiler first.
bool readDocument(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    std::string compiled = path;
    if (endsWith(path, ".xml")) {
        char scratch[] = "/tmp/lagwell-view-XXXXXX";
        const int fd = mkstemp(scratch);
        if (fd < 0) {
            error = "cannot make a scratch file";
            return false;
        }
        close(fd);
        compiled = scratch;
        std::vector<std::string> args{LAGWELL_XMLC, path, compiled};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        int status = 0;
        const bool ran = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
                         waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ran) {
            std::remove(compiled.c_str());
            error = "cannot compile " + path;
            return false;
        }
    }
    std::ifstream in(compiled, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), {});
    if (compiled != path) std::remove(compiled.c_str());
    if (out.empty()) error = "cannot read " + path;
    return !out.empty();
}

int fail(const std::string& what) {
    std::fprintf(stderr, "lagwell-view: %s\n", what.c_str());
    return 1;
}

int run(const Options& o) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readDocument(o.document, bytes, error)) return fail(error);
    CViewRoot root;
    root.setClassInfo(zel::CClassRegistry::instance().find("core:object"));
    zel::CErrorPtr err = zel::CApplication::instance()->initRootObject(root);
    if (!err) err = zel::CXMLData::loadFromMemory("document", std::move(bytes), root);
    if (!err) err = root.init();
    if (err) return fail(err->describe());
    zel::CObject* ui = root.findObject("ui");
    if (!ui) return fail("the document has no \"ui\" object");
    zel::CObject* made = nullptr;
    if ((err = ui->createChild(zel::CString::fromUtf8(o.templateName.c_str()), "view", made)))
        return fail(err->describe());
    auto* view = dynamic_cast<zel::CView*>(made);
    zel::CObject* renderer = made->findChild("window-renderer");
    if (!view || !renderer) return fail("the template is not a window with a window-renderer");

    // Embedded as the plug-in's editor is: the window takes the view's size once it is laid out.
    const int width = int(made->getReal("width", 400)), height = int(made->getReal("height", 300));
    EditorWindow window(root.loop, width > 0 ? width : 400, height > 0 ? height : 300, o.templateName);
    root.setInt("ParentWindow", window.id());
    renderer->setBool("is-main-window", true);
    if ((err = made->init())) return fail(err->describe());
    window.resize(view->area().width(), view->area().height());
    auto* frames = dynamic_cast<zel::CWindowRenderer*>(renderer);
    root.loop.runUntil([&] { return frames->frameCount() >= uint64_t(o.afterFrames) || window.isClosed(); }, 10000);
    int rc = 0;
    if (!o.screenshot.empty()) {
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        if (!window.capture(pixels, w, h))
            rc = fail("cannot read the window's pixels");
        else if (!lagwell::host::writePng(o.screenshot, pixels, w, h, error))
            rc = fail(error);
    }
    if (o.runMs > 0) root.loop.runUntil([&] { return window.isClosed() || window.isBroken(); }, uint32_t(o.runMs));
    ui->removeChild(made);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    if (zel::CErrorPtr err = zel::CApplication::start()) return fail(err->describe());
    int rc = 1;
    try {
        rc = run(o);
    } catch (const std::exception& e) {
        rc = fail(e.what());
    }
    zel::CApplication::finish();
    return rc;
}
