#include "rozuzed/filesystem/content_type_registry.h"

#include <gtest/gtest.h>

namespace rozuzed {
namespace {

const ContentTypeRegistry& registry() {
  return ContentTypeRegistry::shared();
}

TEST(ContentTypeRegistryTest, ExtensionsOfEveryFamily) {
  struct Case {
    const char* extension;
    const char* identifier;
  };
  for (const Case& c : {
           Case{"jpg", "public.jpeg"},
           Case{"jpeg", "public.jpeg"},
           Case{"png", "public.png"},
           Case{"heic", "public.heic"},
           Case{"webp", "public.webp"},
           Case{"cr2", "com.canon.cr2-raw-image"},
           Case{"mp3", "public.mp3"},
           Case{"flac", "org.xiph.flac"},
           Case{"mp4", "public.mpeg-4"},
           Case{"mkv", "org.matroska.mkv"},
           Case{"mov", "com.apple.quicktime-movie"},
           Case{"txt", "public.plain-text"},
           Case{"py", "public.python-script"},
           Case{"json", "public.json"},
           Case{"csv", "public.comma-separated-values-text"},
           Case{"pdf", "com.adobe.pdf"},
           Case{"docx", "org.openxmlformats.wordprocessingml.document"},
           Case{"odt", "org.oasis-open.opendocument.text"},
           Case{"xlsx", "org.openxmlformats.spreadsheetml.sheet"},
           Case{"pptx", "org.openxmlformats.presentationml.presentation"},
           Case{"zip", "public.zip-archive"},
           Case{"gz", "org.gnu.gnu-zip-archive"},
           Case{"7z", "org.7-zip.7-zip-archive"},
           Case{"zst", "com.facebook.zstandard-archive"},
           Case{"iso", "public.iso-image"},
           Case{"dmg", "com.apple.disk-image-udif"},
           Case{"deb", "org.debian.deb-archive"},
           Case{"rpm", "com.redhat.rpm-archive"},
           Case{"appimage", "org.appimage.appimage"},
           Case{"flatpakref", "org.flatpak.flatpakref"},
           Case{"pkg", "com.apple.installer-package-archive"},
           Case{"msi", "com.microsoft.windows-installer"},
           Case{"exe", "com.microsoft.windows-executable"},
           Case{"ttf", "public.truetype-ttf-font"},
           Case{"woff2", "org.w3.woff2"},
           Case{"epub", "org.idpf.epub-container"},
           Case{"mobi", "com.amazon.mobi"},
       }) {
    EXPECT_EQ(registry().identifierForExtension(c.extension), c.identifier) << c.extension;
  }
  for (const char* extension : {"", "qqq", ".jpg", "JPG", "tar.gz"}) {
    EXPECT_EQ(registry().identifierForExtension(extension), std::nullopt) << extension;
  }
}

TEST(ContentTypeRegistryTest, ConformanceIsReflexiveAndTransitiveOverParents) {
  struct Case {
    const char* identifier;
    const char* to;
    bool conforms;
  };
  for (const Case& c : {
           Case{"public.jpeg", "public.jpeg", true},
           Case{"public.jpeg", "public.image", true},
           Case{"public.jpeg", "public.data", true},
           Case{"public.jpeg", "public.content", true},
           Case{"public.jpeg", "public.item", true},
           Case{"public.image", "public.jpeg", false},
           Case{"public.jpeg", "public.png", false},
           Case{"com.canon.cr2-raw-image", "public.image", true},
           Case{"public.webp", "org.webmproject.webp", true},
           Case{"public.webp", "public.image", true},
           Case{"com.apple.m4v-video", "public.movie", true},
           Case{"public.mpeg-4", "public.video", true},
           Case{"public.mp3", "public.movie", false},
           Case{"public.mp3", "public.audiovisual-content", true},
           Case{"public.python-script", "public.source-code", true},
           Case{"public.python-script", "public.text", true},
           Case{"public.json", "public.text", true},
           Case{"com.adobe.pdf", "public.composite-content", true},
           Case{"org.openxmlformats.spreadsheetml.sheet", "public.spreadsheet", true},
           Case{"org.oasis-open.opendocument.presentation", "public.presentation", true},
           Case{"org.openxmlformats.wordprocessingml.document", "public.archive", false},
           Case{"org.gnu.gnu-zip-tar-archive", "public.tar-archive", true},
           Case{"org.gnu.gnu-zip-tar-archive", "public.archive", true},
           Case{"public.iso-image", "public.disk-image", true},
           Case{"public.iso-image", "public.archive", false},
           Case{"org.debian.deb-archive", "public.installer-package", true},
           Case{"org.debian.deb-archive", "public.archive", false},
           Case{"com.microsoft.windows-executable", "public.executable", true},
           Case{"org.w3.woff", "public.font", true},
           Case{"com.amazon.azw", "public.ebook", true},
           Case{"public.folder", "public.directory", true},
           Case{"public.folder", "public.data", false},
           Case{"com.apple.package", "public.directory", true},
           Case{"public.data", "public.folder", false},
           Case{"com.example.unknown", "com.example.unknown", false},
           Case{"com.example.unknown", "public.item", false},
           Case{"public.jpeg", "com.example.unknown", false},
           Case{"", "", false},
       }) {
    EXPECT_EQ(registry().conforms(c.identifier, c.to), c.conforms)
        << c.identifier << " to " << c.to;
    // The same answers through the numbers, which only known types have.
    auto identifier = registry().number(c.identifier);
    auto to = registry().number(c.to);
    EXPECT_EQ(identifier.has_value(), registry().isKnown(c.identifier)) << c.identifier;
    EXPECT_EQ(identifier && to && registry().conforms(*identifier, *to), c.conforms)
        << c.identifier << " to " << c.to << " by number";
  }
}

TEST(ContentTypeRegistryTest, FamiliesARuleFileNamesAreKnown) {
  for (const char* identifier : {"public.item",
                                 "public.data",
                                 "public.content",
                                 "public.folder",
                                 "public.directory",
                                 "public.image",
                                 "public.camera-raw-image",
                                 "public.audio",
                                 "public.movie",
                                 "public.video",
                                 "public.audiovisual-content",
                                 "public.text",
                                 "public.plain-text",
                                 "public.source-code",
                                 "public.html",
                                 "public.xml",
                                 "public.composite-content",
                                 "public.spreadsheet",
                                 "public.presentation",
                                 "public.archive",
                                 "public.disk-image",
                                 "public.executable",
                                 "public.installer-package",
                                 "public.font",
                                 "public.ebook",
                                 "public.svg-image",
                                 "com.compuserve.gif",
                                 "public.tiff",
                                 "com.microsoft.bmp",
                                 "public.mpeg-4-audio",
                                 "com.microsoft.waveform-audio",
                                 "public.aiff-audio",
                                 "public.avi",
                                 "org.webmproject.webm",
                                 "com.microsoft.word.doc",
                                 "public.rtf",
                                 "com.microsoft.excel.xls",
                                 "org.oasis-open.opendocument.spreadsheet",
                                 "com.microsoft.powerpoint.ppt",
                                 "org.gnu.gnu-tar-archive",
                                 "public.bzip2-archive",
                                 "org.tukaani.xz-archive",
                                 "com.rarlab.rar-archive",
                                 "public.opentype-font"}) {
    EXPECT_TRUE(registry().isKnown(identifier)) << identifier;
  }
  EXPECT_FALSE(registry().isKnown("public.jpg"));
  EXPECT_FALSE(registry().isKnown("PUBLIC.JPEG"));
}

}  // namespace
}  // namespace rozuzed
