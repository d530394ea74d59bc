// shortcut_tool: makes and reads shell shortcut files, for the demo session.
//
//   shortcut_tool make <shortcut.lnk> <target>   writes a shortcut to target
//   shortcut_tool show <shortcut.lnk>            prints its target, or
//                                                "absent" when there is none

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstring>

#include "util/scoped_com_ptr.h"

using tarvish::ScopedComPtr;

int main(int argc, char** argv) {
  const bool make = argc == 4 && std::strcmp(argv[1], "make") == 0;
  const bool show = argc == 3 && std::strcmp(argv[1], "show") == 0;
  if (!make && !show) {
    std::fprintf(stderr, "usage: shortcut_tool make <file.lnk> <target> | show <file.lnk>\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  ScopedComPtr<IShellLinkA> link;
  ScopedComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) {
    std::fprintf(stderr, "shortcut_tool: no shell link object\n");
    return 1;
  }
  wchar_t path[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, argv[2], -1, path, MAX_PATH) == 0) return 1;
  if (make) {
    if (FAILED(link->SetPath(argv[3])) || FAILED(file->Save(path, TRUE))) {
      std::fprintf(stderr, "shortcut_tool: cannot write %s\n", argv[2]);
      return 1;
    }
    return 0;
  }
  if (FAILED(file->Load(path, STGM_READ))) {
    std::printf("absent\n");
    return 0;
  }
  char target[MAX_PATH] = {};
  WIN32_FIND_DATAA found;
  link->GetPath(target, MAX_PATH, &found, SLGP_RAWPATH);
  std::printf("%s\n", target);
  return 0;
}
