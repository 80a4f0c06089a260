#include "rozuzed/filesystem/content_type_registry.h"

#include <initializer_list>
#include <stdexcept>
#include <unordered_set>

namespace rozuzed {
namespace {

struct Declaration {
  const char* identifier;
  std::initializer_list<const char*> parents;
  std::initializer_list<const char*> extensions;
};

// Types are declared after their parents; an extension belongs to one type.
// The families stay apart (a disk image or an office document is not an
// archive here), so rules for them do not catch each other's files. Where two identifiers are in
// use for one format, the one given to files is declared as a child of the other, so rules written
// with either match.
const std::initializer_list<Declaration> kDeclarations = {
    {"public.item", {}, {}},
    {"public.content", {"public.item"}, {}},
    {"public.data", {"public.item"}, {}},
    {"public.directory", {"public.item"}, {}},
    {"public.folder", {"public.directory"}, {}},
    {"public.volume", {"public.folder"}, {}},
    {"com.apple.package", {"public.directory"}, {}},
    {"com.apple.bundle", {"public.directory"}, {}},
    {"public.symlink", {"public.item"}, {}},
    {"public.executable", {"public.item"}, {}},
    {"public.composite-content", {"public.content"}, {}},
    {"public.archive", {"public.data"}, {}},
    {"public.disk-image", {"public.data"}, {"img"}},
    {"public.audiovisual-content", {"public.data", "public.content"}, {}},

    // Text and source code.
    {"public.text", {"public.data", "public.content"}, {}},
    {"public.plain-text", {"public.text"}, {"txt", "text"}},
    {"public.utf8-plain-text", {"public.plain-text"}, {}},
    {"public.utf16-plain-text", {"public.plain-text"}, {}},
    {"public.rtf", {"public.text"}, {"rtf"}},
    {"public.html", {"public.text"}, {"html", "htm", "shtml"}},
    {"public.xml", {"public.text"}, {"xml", "xsd", "xsl", "xslt"}},
    {"public.xhtml", {"public.xml", "public.html"}, {"xhtml"}},
    {"public.json", {"public.text"}, {"json", "geojson", "jsonl"}},
    {"public.yaml", {"public.plain-text"}, {"yaml", "yml"}},
    {"public.delimited-values-text", {"public.text"}, {}},
    {"public.comma-separated-values-text", {"public.delimited-values-text"}, {"csv"}},
    {"public.tab-separated-values-text", {"public.delimited-values-text"}, {"tsv", "tab"}},
    {"net.daringfireball.markdown", {"public.plain-text"}, {"md", "markdown", "mdown"}},
    {"public.log", {"public.plain-text"}, {"log"}},
    {"org.tug.tex", {"public.plain-text"}, {"tex"}},
    {"public.source-code", {"public.plain-text"}, {}},
    {"public.c-source", {"public.source-code"}, {"c"}},
    {"public.c-header", {"public.source-code"}, {"h"}},
    {"public.c-plus-plus-source", {"public.source-code"}, {"cpp", "cc", "cxx", "c++"}},
    {"public.c-plus-plus-header", {"public.source-code"}, {"hpp", "hh", "hxx", "h++"}},
    {"public.objective-c-source", {"public.source-code"}, {"m", "mm"}},
    {"public.swift-source", {"public.source-code"}, {"swift"}},
    {"com.sun.java-source", {"public.source-code"}, {"java"}},
    {"org.kotlinlang.kotlin-source", {"public.source-code"}, {"kt", "kts"}},
    {"org.golang.go-source", {"public.source-code"}, {"go"}},
    {"org.rust-lang.rust-source", {"public.source-code"}, {"rs"}},
    {"com.microsoft.c-sharp-source", {"public.source-code"}, {"cs"}},
    {"com.microsoft.typescript-source", {"public.source-code"}, {"tsx"}},
    {"public.css", {"public.source-code"}, {"css"}},
    {"public.sql", {"public.source-code"}, {"sql"}},
    {"public.script", {"public.source-code"}, {}},
    {"com.netscape.javascript-source", {"public.script"}, {"js", "mjs", "cjs", "jsx"}},
    {"public.shell-script", {"public.script"}, {"sh", "bash", "zsh", "fish", "ksh"}},
    {"public.python-script", {"public.script"}, {"py", "pyw", "pyi"}},
    {"public.ruby-script", {"public.script"}, {"rb"}},
    {"public.perl-script", {"public.script"}, {"pl", "pm"}},
    {"public.php-script", {"public.script"}, {"php"}},
    {"com.microsoft.powershell-script", {"public.script"}, {"ps1", "psm1"}},
    {"com.microsoft.batch-file", {"public.script"}, {"bat", "cmd"}},
    {"public.lua-script", {"public.script"}, {"lua"}},

    // Documents.
    {"com.adobe.pdf", {"public.data", "public.composite-content"}, {"pdf"}},
    {"com.adobe.postscript", {"public.data", "public.composite-content"}, {"ps"}},
    {"com.adobe.encapsulated-postscript", {"com.adobe.postscript"}, {"eps"}},
    {"org.openxmlformats.openxml", {"public.data", "public.composite-content"}, {}},
    {"org.openxmlformats.wordprocessingml.document", {"org.openxmlformats.openxml"}, {"docx"}},
    {"org.openxmlformats.wordprocessingml.document.macroenabled",
     {"org.openxmlformats.wordprocessingml.document"},
     {"docm"}},
    {"org.openxmlformats.wordprocessingml.template", {"org.openxmlformats.openxml"}, {"dotx"}},
    {"com.microsoft.word.doc", {"public.data", "public.composite-content"}, {"doc"}},
    {"com.microsoft.word.dot", {"public.data", "public.composite-content"}, {"dot"}},
    {"org.oasis-open.opendocument", {"public.data", "public.composite-content"}, {}},
    {"org.oasis-open.opendocument.text", {"org.oasis-open.opendocument"}, {"odt", "fodt"}},
    {"org.oasis-open.opendocument.text-template", {"org.oasis-open.opendocument"}, {"ott"}},
    {"org.oasis-open.opendocument.graphics", {"org.oasis-open.opendocument"}, {"odg"}},
    {"com.microsoft.works.wps", {"public.data", "public.composite-content"}, {"wps"}},
    {"com.apple.xps", {"public.data", "public.composite-content"}, {"xps", "oxps"}},

    // Spreadsheets.
    {"public.spreadsheet", {"public.content"}, {}},
    {"org.openxmlformats.spreadsheetml.sheet",
     {"org.openxmlformats.openxml", "public.spreadsheet"},
     {"xlsx"}},
    {"org.openxmlformats.spreadsheetml.sheet.macroenabled",
     {"org.openxmlformats.spreadsheetml.sheet"},
     {"xlsm"}},
    {"org.openxmlformats.spreadsheetml.template",
     {"org.openxmlformats.openxml", "public.spreadsheet"},
     {"xltx"}},
    {"com.microsoft.excel.xls", {"public.data", "public.spreadsheet"}, {"xls", "xlt"}},
    {"com.microsoft.excel.sheet.binary.macroenabled",
     {"public.data", "public.spreadsheet"},
     {"xlsb"}},
    {"org.oasis-open.opendocument.spreadsheet",
     {"org.oasis-open.opendocument", "public.spreadsheet"},
     {"ods", "fods"}},
    {"org.oasis-open.opendocument.spreadsheet-template",
     {"org.oasis-open.opendocument", "public.spreadsheet"},
     {"ots"}},

    // Presentations.
    {"public.presentation", {"public.content"}, {}},
    {"org.openxmlformats.presentationml.presentation",
     {"org.openxmlformats.openxml", "public.presentation"},
     {"pptx"}},
    {"org.openxmlformats.presentationml.presentation.macroenabled",
     {"org.openxmlformats.presentationml.presentation"},
     {"pptm"}},
    {"org.openxmlformats.presentationml.slideshow",
     {"org.openxmlformats.openxml", "public.presentation"},
     {"ppsx"}},
    {"org.openxmlformats.presentationml.template",
     {"org.openxmlformats.openxml", "public.presentation"},
     {"potx"}},
    {"com.microsoft.powerpoint.ppt", {"public.data", "public.presentation"}, {"ppt", "pot"}},
    {"com.microsoft.powerpoint.pps", {"public.data", "public.presentation"}, {"pps"}},
    {"org.oasis-open.opendocument.presentation",
     {"org.oasis-open.opendocument", "public.presentation"},
     {"odp", "fodp"}},
    {"org.oasis-open.opendocument.presentation-template",
     {"org.oasis-open.opendocument", "public.presentation"},
     {"otp"}},

    // Images.
    {"public.image", {"public.data", "public.content"}, {}},
    {"public.jpeg", {"public.image"}, {"jpg", "jpeg", "jpe", "jfif", "pjpeg"}},
    {"public.png", {"public.image"}, {"png", "apng"}},
    {"public.heif-standard", {"public.image"}, {}},
    {"public.heic", {"public.heif-standard"}, {"heic", "heics"}},
    {"public.heif", {"public.heif-standard"}, {"heif", "hif"}},
    {"public.avif", {"public.image"}, {"avif"}},
    {"public.jpeg-xl", {"public.image"}, {"jxl"}},
    {"public.jpeg-2000", {"public.image"}, {"jp2", "j2k", "jpf", "jpx"}},
    {"public.tiff", {"public.image"}, {"tif", "tiff"}},
    {"com.compuserve.gif", {"public.image"}, {"gif"}},
    {"org.webmproject.webp", {"public.image"}, {}},
    {"public.webp", {"org.webmproject.webp"}, {"webp"}},
    {"public.svg-image", {"public.image"}, {"svg", "svgz"}},
    {"com.microsoft.bmp", {"public.image"}, {"bmp", "dib"}},
    {"com.microsoft.ico", {"public.image"}, {"ico", "cur"}},
    {"com.apple.icns", {"public.image"}, {"icns"}},
    {"com.truevision.tga-image", {"public.image"}, {"tga"}},
    {"com.adobe.photoshop-image", {"public.image"}, {"psd", "psb"}},
    {"org.gimp.xcf", {"public.image"}, {"xcf"}},
    {"com.ilm.openexr-image", {"public.image"}, {"exr"}},
    {"public.radiance", {"public.image"}, {"hdr"}},
    {"public.pbm", {"public.image"}, {"pbm"}},
    {"public.pgm", {"public.image"}, {"pgm"}},
    {"public.ppm", {"public.image"}, {"ppm", "pnm"}},
    {"public.xbitmap-image", {"public.image"}, {"xbm"}},
    {"public.camera-raw-image", {"public.image"}, {}},
    {"com.adobe.raw-image", {"public.camera-raw-image"}, {"dng"}},
    {"com.canon.cr2-raw-image", {"public.camera-raw-image"}, {"cr2"}},
    {"com.canon.cr3-raw-image", {"public.camera-raw-image"}, {"cr3"}},
    {"com.canon.crw-raw-image", {"public.camera-raw-image"}, {"crw"}},
    {"com.nikon.raw-image", {"public.camera-raw-image"}, {"nef"}},
    {"com.nikon.nrw-raw-image", {"public.camera-raw-image"}, {"nrw"}},
    {"com.sony.arw-raw-image", {"public.camera-raw-image"}, {"arw"}},
    {"com.sony.sr2-raw-image", {"public.camera-raw-image"}, {"sr2"}},
    {"com.fuji.raw-image", {"public.camera-raw-image"}, {"raf"}},
    {"com.olympus.or-raw-image", {"public.camera-raw-image"}, {"orf"}},
    {"com.panasonic.rw2-raw-image", {"public.camera-raw-image"}, {"rw2"}},
    {"com.pentax.raw-image", {"public.camera-raw-image"}, {"pef"}},
    {"com.samsung.raw-image", {"public.camera-raw-image"}, {"srw"}},
    {"com.leica.raw-image", {"public.camera-raw-image"}, {"rwl"}},
    {"com.hasselblad.3fr-raw-image", {"public.camera-raw-image"}, {"3fr"}},

    // Audio.
    {"public.audio", {"public.audiovisual-content"}, {}},
    {"public.mp3", {"public.audio"}, {"mp3"}},
    {"public.mpeg-4-audio", {"public.audio"}, {"m4a", "m4b"}},
    {"com.apple.protected-mpeg-4-audio", {"public.audio"}, {"m4p"}},
    {"public.aac-audio", {"public.audio"}, {"aac"}},
    {"com.microsoft.waveform-audio", {"public.audio"}, {"wav", "wave"}},
    {"public.aiff-audio", {"public.audio"}, {"aiff", "aif"}},
    {"public.aifc-audio", {"public.audio"}, {"aifc"}},
    {"org.xiph.flac", {"public.audio"}, {"flac"}},
    {"org.xiph.ogg-audio", {"public.audio"}, {"ogg", "oga"}},
    {"org.xiph.opus", {"public.audio"}, {"opus"}},
    {"org.xiph.speex", {"public.audio"}, {"spx"}},
    {"com.microsoft.windows-media-wma", {"public.audio"}, {"wma"}},
    {"public.midi-audio", {"public.audio"}, {"mid", "midi", "kar"}},
    {"com.apple.coreaudio-format", {"public.audio"}, {"caf"}},
    {"public.ac3-audio", {"public.audio"}, {"ac3"}},
    {"public.enhanced-ac3-audio", {"public.audio"}, {"eac3"}},
    {"com.digidesign.sd2-audio", {"public.audio"}, {"sd2"}},
    {"com.monkeysaudio.ape-audio", {"public.audio"}, {"ape"}},
    {"com.wavpack.wavpack-audio", {"public.audio"}, {"wv"}},
    {"org.matroska.mka", {"public.audio"}, {"mka"}},
    {"public.amr-audio", {"public.audio"}, {"amr"}},
    {"public.ulaw-audio", {"public.audio"}, {"au", "snd"}},

    // Movies. Every video format also conforms to public.video, so rules
    // written with either family name find them.
    {"public.movie", {"public.audiovisual-content"}, {}},
    {"public.video", {"public.movie"}, {}},
    {"public.mpeg-4", {"public.video"}, {"mp4", "mp4v"}},
    {"com.apple.m4v-video", {"public.mpeg-4"}, {"m4v"}},
    {"com.apple.quicktime-movie", {"public.video"}, {"mov", "qt"}},
    {"public.avi", {"public.video"}, {"avi"}},
    {"org.matroska.mkv", {"public.video"}, {"mkv"}},
    {"org.webmproject.webm", {"public.video"}, {"webm"}},
    {"public.mpeg", {"public.video"}, {"mpg", "mpeg", "mpe", "m1v", "m2v"}},
    {"public.mpeg-2-video", {"public.video"}, {"vob"}},
    {"public.mpeg-2-transport-stream", {"public.video"}, {"ts", "m2ts", "mts"}},
    {"public.3gpp", {"public.video"}, {"3gp", "3gpp"}},
    {"public.3gpp2", {"public.video"}, {"3g2", "3gp2"}},
    {"com.microsoft.windows-media-wmv", {"public.video"}, {"wmv"}},
    {"com.microsoft.advanced-systems-format", {"public.video"}, {"asf"}},
    {"com.adobe.flash.video", {"public.video"}, {"flv", "f4v"}},
    {"org.xiph.ogg-video", {"public.video"}, {"ogv"}},
    {"com.real.realmedia", {"public.video"}, {"rm", "rmvb"}},
    {"public.dv-movie", {"public.video"}, {"dv"}},

    // Archives and compressed files. ".tar.gz" has the extension "gz".
    {"com.pkware.zip-archive", {"public.archive"}, {}},
    {"public.zip-archive", {"com.pkware.zip-archive"}, {"zip", "zipx"}},
    {"public.tar-archive", {"public.archive"}, {"tar"}},
    {"org.gnu.gnu-tar-archive", {"public.tar-archive"}, {"gtar"}},
    {"org.gnu.gnu-zip-archive", {"public.archive"}, {"gz", "gzip"}},
    {"org.gnu.gnu-zip-tar-archive", {"org.gnu.gnu-zip-archive", "public.tar-archive"}, {"tgz"}},
    {"public.bzip2-archive", {"public.archive"}, {"bz2", "bzip2", "bz"}},
    {"public.tar-bzip2-archive", {"public.bzip2-archive", "public.tar-archive"}, {"tbz", "tbz2"}},
    {"org.tukaani.xz-archive", {"public.archive"}, {"xz"}},
    {"org.tukaani.tar-xz-archive", {"org.tukaani.xz-archive", "public.tar-archive"}, {"txz"}},
    {"org.tukaani.lzma-archive", {"public.archive"}, {"lzma"}},
    {"org.lz4.lz4-archive", {"public.archive"}, {"lz4"}},
    {"org.nongnu.lzip-archive", {"public.archive"}, {"lz"}},
    {"com.facebook.zstandard-archive", {"public.archive"}, {"zst", "zstd"}},
    {"com.facebook.tar-zstandard-archive",
     {"com.facebook.zstandard-archive", "public.tar-archive"},
     {"tzst"}},
    {"public.z-archive", {"public.archive"}, {"z"}},
    {"org.7-zip.7-zip-archive", {"public.archive"}, {"7z"}},
    {"com.rarlab.rar-archive", {"public.archive"}, {"rar"}},
    {"public.cpio-archive", {"public.archive"}, {"cpio"}},
    {"com.apple.xar-archive", {"public.archive"}, {"xar"}},
    {"com.allume.stuffit-archive", {"public.archive"}, {"sit", "sitx"}},
    {"org.gnu.ar-archive", {"public.archive"}, {"ar"}},
    {"com.microsoft.cab", {"public.archive"}, {"cab"}},
    {"com.sun.java-archive", {"public.zip-archive"}, {"jar", "war", "ear"}},

    // Disk images.
    {"public.iso-image", {"public.disk-image"}, {"iso"}},
    {"com.apple.disk-image", {"public.disk-image"}, {}},
    {"com.apple.disk-image-udif", {"com.apple.disk-image"}, {"dmg"}},
    {"com.apple.disk-image-sparse", {"com.apple.disk-image"}, {"sparseimage"}},
    {"com.apple.disk-image-cdr", {"public.iso-image"}, {"cdr"}},
    {"com.goldenhawk.cdrwin-cuesheet", {"public.disk-image"}, {"cue"}},
    {"com.goldenhawk.cdrwin-bin", {"public.disk-image"}, {"bin"}},
    {"com.vmware.vmdk-image", {"public.disk-image"}, {"vmdk"}},
    {"org.virtualbox.vdi-image", {"public.disk-image"}, {"vdi"}},
    {"com.microsoft.vhd-image", {"public.disk-image"}, {"vhd", "vhdx"}},
    {"org.qemu.qcow2-image", {"public.disk-image"}, {"qcow2", "qcow"}},
    {"com.microsoft.wim-image", {"public.disk-image"}, {"wim"}},

    // Installers and software packages: one family, so that one rule finds
    // every kind of them. Windows programs are executables as well.
    {"public.installer-package", {"public.data"}, {}},
    {"org.debian.deb-archive", {"public.installer-package"}, {"deb", "udeb"}},
    {"com.redhat.rpm-archive", {"public.installer-package"}, {"rpm"}},
    {"org.appimage.appimage", {"public.installer-package", "public.executable"}, {"appimage"}},
    {"org.flatpak.flatpakref", {"public.installer-package"}, {"flatpakref", "flatpakrepo"}},
    {"org.flatpak.flatpak", {"public.installer-package"}, {"flatpak"}},
    {"io.snapcraft.snap", {"public.installer-package"}, {"snap"}},
    {"com.apple.installer-package-archive", {"public.installer-package"}, {"pkg", "mpkg"}},
    {"com.microsoft.windows-installer", {"public.installer-package"}, {"msi", "msp"}},
    {"com.microsoft.msix-package", {"public.installer-package"}, {"msix", "msixbundle", "appx"}},
    {"com.microsoft.windows-executable",
     {"public.installer-package", "public.executable"},
     {"exe"}},
    {"com.android.package-archive", {"public.installer-package"}, {"apk", "xapk", "aab"}},
    {"com.apple.ios-package-archive", {"public.installer-package"}, {"ipa"}},
    {"public.unix-executable", {"public.data", "public.executable"}, {"run"}},

    // Fonts.
    {"public.font", {"public.data", "public.content"}, {}},
    {"public.truetype-ttf-font", {"public.font"}, {"ttf"}},
    {"public.opentype-font", {"public.font"}, {"otf"}},
    {"public.truetype-collection-font", {"public.font"}, {"ttc", "otc"}},
    {"com.adobe.postscript-font", {"public.font"}, {"pfb", "pfa", "afm"}},
    {"org.w3.woff", {"public.font"}, {"woff"}},
    {"org.w3.woff2", {"public.font"}, {"woff2"}},
    {"com.microsoft.eot", {"public.font"}, {"eot"}},
    {"public.bitmap-font", {"public.font"}, {"pcf", "bdf"}},

    // E-books.
    {"public.ebook", {"public.data", "public.composite-content"}, {}},
    {"org.idpf.epub-container", {"public.ebook"}, {"epub"}},
    {"com.amazon.mobi", {"public.ebook"}, {"mobi", "prc"}},
    {"com.amazon.azw", {"com.amazon.mobi"}, {"azw"}},
    {"com.amazon.azw3", {"public.ebook"}, {"azw3", "kf8"}},
    {"com.amazon.kfx", {"public.ebook"}, {"kfx"}},
    {"com.lizardtech.djvu", {"public.ebook"}, {"djvu", "djv"}},
    {"org.fictionbook.fb2", {"public.ebook"}, {"fb2"}},
    {"com.apple.ibooks", {"public.ebook"}, {"ibooks"}},
    {"com.microsoft.lit", {"public.ebook"}, {"lit"}},
    {"public.comic-book-archive", {"public.ebook"}, {"cbz", "cbr", "cb7"}},

    // Other everyday kinds.
    {"public.calendar-event", {"public.data", "public.content"}, {"ics", "ical", "ifb"}},
    {"public.vcard", {"public.data", "public.content"}, {"vcf", "vcard"}},
    {"public.email-message", {"public.data", "public.content"}, {"eml", "msg", "mbox"}},
    {"org.bittorrent.torrent", {"public.data"}, {"torrent"}},
    {"org.freedesktop.desktop-entry", {"public.plain-text"}, {"desktop"}},
    {"com.microsoft.internet-shortcut", {"public.data"}, {"url", "webloc"}},
    {"public.database", {"public.data"}, {}},
    {"org.sqlite.sqlite3", {"public.database"}, {"sqlite", "sqlite3"}},
    {"public.3d-content", {"public.data", "public.content"}, {}},
    {"public.geometry-definition-format", {"public.3d-content"}, {"obj"}},
    {"public.standard-tesselated-geometry-format", {"public.3d-content"}, {"stl"}},
    {"org.khronos.gltf", {"public.3d-content"}, {"gltf", "glb"}},
    {"com.pixar.universal-scene-description", {"public.3d-content"}, {"usd", "usdz", "usda"}},
    {"public.security.certificate", {"public.data"}, {"cer", "crt", "der", "pem"}},
    {"public.subtitles", {"public.plain-text"}, {"srt", "vtt", "ass", "ssa", "sub"}},
    {"public.patch-file", {"public.plain-text"}, {"patch", "diff"}},
};

}  // namespace

const ContentTypeRegistry& ContentTypeRegistry::shared() {
  static const ContentTypeRegistry registry;
  return registry;
}

ContentTypeRegistry::ContentTypeRegistry() {
  for (const Declaration& declaration : kDeclarations) {
    std::vector<std::string> parents;
    for (const char* parent : declaration.parents) {
      // The table is fixed in code, so a slip in it is a programming error
      // that every test run would reveal at once.
      if (!parents_.count(parent)) {
        throw std::logic_error(std::string("content type declared before its parent: ") +
                               declaration.identifier);
      }
      parents.emplace_back(parent);
    }
    std::unordered_set<std::string> conformances = {declaration.identifier};
    for (const std::string& parent : parents) {
      const auto& inherited = conformances_.at(parent);
      conformances.insert(inherited.begin(), inherited.end());
    }
    conformances_.emplace(declaration.identifier, std::move(conformances));
    if (!parents_.emplace(declaration.identifier, std::move(parents)).second) {
      throw std::logic_error(std::string("content type declared twice: ") + declaration.identifier);
    }
    for (const char* extension : declaration.extensions) {
      if (!identifierByExtension_.emplace(extension, declaration.identifier).second) {
        throw std::logic_error(std::string("extension declared twice: ") + extension);
      }
    }
    numbers_.emplace(declaration.identifier, numbers_.size());
  }
  const std::size_t count = numbers_.size();
  conformanceTable_.assign(count * count, false);
  for (const auto& [identifier, conformances] : conformances_) {
    for (const std::string& to : conformances) {
      conformanceTable_[numbers_.at(identifier) * count + numbers_.at(to)] = true;
    }
  }
}

bool ContentTypeRegistry::isKnown(const std::string& identifier) const {
  return parents_.count(identifier) > 0;
}

bool ContentTypeRegistry::conforms(const std::string& identifier, const std::string& to) const {
  auto found = conformances_.find(identifier);
  return found != conformances_.end() && found->second.count(to) > 0;
}

std::optional<std::size_t> ContentTypeRegistry::number(const std::string& identifier) const {
  auto found = numbers_.find(identifier);
  if (found == numbers_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> ContentTypeRegistry::identifierForExtension(
    const std::string& extension) const {
  auto found = identifierByExtension_.find(extension);
  if (found == identifierByExtension_.end()) return std::nullopt;
  return found->second;
}

}  // namespace rozuzed
