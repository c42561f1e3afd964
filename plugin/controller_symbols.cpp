#include "plugin/controller_symbols.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__has_include)
#  if __has_include(<elf.h>) && __has_include(<cxxabi.h>)
#    include <cxxabi.h>
#    include <elf.h>
#    define PELLORIA_READS_ELF 1
#  endif
#endif

namespace {

#ifdef PELLORIA_READS_ELF
// `count` items of T at `offset`, or null when the file is too short.
template <typename T>
const T *at(const QByteArray &file, quint64 offset, quint64 count = 1)
{
    if (offset > quint64(file.size()) || count > (quint64(file.size()) - offset) / sizeof(T))
        return nullptr;
    return reinterpret_cast<const T *>(file.constData() + offset);
}

QString readable(const char *name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    const QString raw = QString::fromLatin1(name);
    return status == 0 && plain ? QStringLiteral("%1 (%2)").arg(raw, QString::fromLatin1(plain.get())) : raw;
}
#endif

} // namespace

ControllerSymbols scanControllerSymbols(const QString &libraryPath)
{
    ControllerSymbols found;
#ifdef PELLORIA_READS_ELF
    QFile file(libraryPath);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const QByteArray data = file.readAll();
    const Elf64_Ehdr *header = at<Elf64_Ehdr>(data, 0);
    if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_ident[EI_CLASS] != ELFCLASS64
        || header->e_shentsize != sizeof(Elf64_Shdr))
        return found;
    const Elf64_Shdr *sections = at<Elf64_Shdr>(data, header->e_shoff, header->e_shnum);
    if (!sections)
        return found;
    found.readable = true;
    QStringList inSymtab;
    for (int s = 0; s < header->e_shnum; ++s) {
        const Elf64_Shdr &table = sections[s];
        if ((table.sh_type != SHT_DYNSYM && table.sh_type != SHT_SYMTAB) || table.sh_link >= header->e_shnum)
            continue;
        const Elf64_Shdr &strings = sections[table.sh_link];
        const Elf64_Sym *symbols = at<Elf64_Sym>(data, table.sh_offset, table.sh_size / sizeof(Elf64_Sym));
        const char *names = at<char>(data, strings.sh_offset, strings.sh_size);
        if (!symbols || !names || strings.sh_size == 0)
            continue;
        for (quint64 k = 0; k < table.sh_size / sizeof(Elf64_Sym); ++k) {
            const Elf64_Sym &symbol = symbols[k];
            if (symbol.st_shndx == SHN_UNDEF || ELF64_ST_TYPE(symbol.st_info) != STT_FUNC
                || symbol.st_name >= strings.sh_size)
                continue;
            const char *name = names + symbol.st_name;
            if (std::memchr(name, '\0', strings.sh_size - symbol.st_name) == nullptr
                || std::strstr(name, "controller") == nullptr)
                continue;
            const bool exported = table.sh_type == SHT_DYNSYM && ELF64_ST_VISIBILITY(symbol.st_other) == STV_DEFAULT
                && ELF64_ST_BIND(symbol.st_info) != STB_LOCAL;
            QStringList &list = exported ? found.exported : inSymtab;
            const QString text = readable(name);
            if (!list.contains(text))
                list << text;
        }
    }
    for (const QString &name : inSymtab)
        if (!found.exported.contains(name))
            found.hidden << name;
#else
    (void)libraryPath;
#endif
    return found;
}

QString librarySha256(const QString &libraryPath)
{
    QFile file(libraryPath);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

QString missingControllerMessage(const QString &libraryPath)
{
    QString message
        = QStringLiteral("%1 exports no 'controller' function. Likely causes: the definition lacks extern \"C\" "
                         "(C++ then exports a mangled name), lacks BRAINLET_API from brainlet.h, or the library "
                         "was built with -fvisibility=hidden without it.")
              .arg(libraryPath);
    const ControllerSymbols symbols = scanControllerSymbols(libraryPath);
    QStringList mangled, named;
    for (const QString &name : symbols.exported)
        (name.startsWith(QLatin1String("_Z")) ? mangled : named) << name;
    if (!mangled.isEmpty())
        message += QStringLiteral(" It exports %1, a C++ name: declare it extern \"C\".")
                       .arg(mangled.join(QStringLiteral(", ")));
    if (!named.isEmpty())
        message += QStringLiteral(" It exports %1, but the game calls exactly 'controller'.")
                       .arg(named.join(QStringLiteral(", ")));
    if (!symbols.hidden.isEmpty())
        message += QStringLiteral(" It has %1, but hidden: mark it BRAINLET_API.")
                       .arg(symbols.hidden.join(QStringLiteral(", ")));
    return message;
}
