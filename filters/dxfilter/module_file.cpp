// module_file.cpp - loading an extraction module file, refusing a damaged one.
#include "filters/dxfilter/module_file.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "filters/dxfilter/extractor.h"

namespace dxf {
namespace {

// `offset` + `count` x `each` bytes lie within `size`, without overflow.
bool within(uint64_t offset, uint64_t count, uint64_t each, uint64_t size) {
    if (each != 0 && count > size / each) return false;
    return offset <= size && count * each <= size - offset;
}

}  // namespace

bool ElfFileIsWhole(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    Elf64_Ehdr eh{};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && PreadFully(fd, &eh, sizeof eh, 0) &&
              std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 && eh.e_ident[EI_CLASS] == ELFCLASS64 &&
              eh.e_phentsize == sizeof(Elf64_Phdr);
    const auto size = static_cast<uint64_t>(st.st_size);
    ok = ok && within(eh.e_phoff, eh.e_phnum, sizeof(Elf64_Phdr), size) &&
         within(eh.e_shoff, eh.e_shnum, eh.e_shentsize, size);
    for (unsigned i = 0; ok && i < eh.e_phnum; ++i) {
        Elf64_Phdr ph{};
        ok = PreadFully(fd, &ph, sizeof ph, eh.e_phoff + uint64_t{i} * sizeof ph) &&
             within(ph.p_offset, 1, ph.p_filesz, size);
    }
    close(fd);
    return ok;
}

const DXModule *LoadModuleFile(const std::vector<std::string> &dirs, const char *name) {
    for (const std::string &dir : dirs) {
        if (dir.empty()) continue;
        std::string path = dir + name;
        if (!ElfFileIsWhole(path)) continue;
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handle) continue;
        auto get = reinterpret_cast<DXMGetModuleFn>(dlsym(handle, DXM_SYM_GET_MODULE));
        const DXModule *api = get ? get() : nullptr;
        if (api && api->abi == DXM_ABI_VERSION && api->open && api->step && api->close) return api;
    }
    return nullptr;
}

}  // namespace dxf
