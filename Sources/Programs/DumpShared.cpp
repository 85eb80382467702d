// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the embedded shared document as the running program sees it: the
// object tree built from it, then each run-time template instantiated.
#include <cstdio>
#include <cstring>
#include <string>

#include "Core/Application.h"
#include "Core/ResourceReader.h"
#include "Core/XMLData.h"

namespace {

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void print(const zel::CObject& obj, int depth) {
    const std::string indent(depth * 2, ' ');
    const char* tag = obj.classInfo() ? obj.classInfo()->tag() : "core:object";
    std::printf("%s<%s", indent.c_str(), tag);
    if (!obj.name().empty()) std::printf(" name=\"%s\"", escape(obj.name().utf8()).c_str());
    for (const auto& [key, value] : obj.attrs())
        std::printf("\n%s    %s=\"%s\"", indent.c_str(), key.utf8().c_str(), escape(value.utf8()).c_str());
    if (obj.children().empty()) {
        std::printf("/>\n");
        return;
    }
    std::printf(">\n");
    for (const auto& child : obj.children()) print(*child, depth + 1);
    std::printf("%s</%s>\n", indent.c_str(), tag);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
        std::fputs(
            "usage: lagwell-dump-shared\n\nPrints the embedded shared document as the running program sees "
            "it:\nthe object tree, then each run-time template instantiated.\n",
            help ? stdout : stderr);
        if (!help) std::fprintf(stderr, "lagwell-dump-shared: unknown argument %s\n", argv[1]);
        return help ? 0 : 2;
    }
    if (zel::CErrorPtr err = zel::CApplication::start()) {
        std::fprintf(stderr, "lagwell-dump-shared: %s\n", err->describe().c_str());
        return 1;
    }
    const zel::CObject* shared = zel::CApplication::sharedObject();
    const auto* entry = zel::CEmbeddedResourceMap::instance().find("SharedData.xml");
    std::printf("<!-- SharedData.xml: %u bytes embedded, %zu top-level objects, %zu templates -->\n",
                entry ? entry->size : 0u, shared->children().size(), shared->templates().size());
    for (const auto& child : shared->children()) print(*child, 0);
    int rc = 0;
    for (const auto& [name, tmpl] : shared->templates()) {
        zel::CObject root;
        zel::CObject* made = nullptr;
        zel::CErrorPtr err = zel::CApplication::instance()->initRootObject(root);
        if (!err) err = tmpl->instantiate(root, name, made);
        if (!err) err = root.init();
        if (err) {
            std::fprintf(stderr, "lagwell-dump-shared: template '%s': %s\n", name.utf8().c_str(),
                         err->describe().c_str());
            rc = 1;
            continue;
        }
        std::printf("<!-- template \"%s\" (class %s), instantiated -->\n", name.utf8().c_str(),
                    tmpl->classTag().utf8().c_str());
        print(*made, 0);
    }
    zel::CApplication::finish();
    return rc;
}
