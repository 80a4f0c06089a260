#include "rozuzed/filesystem/bundle_extensions.h"

#include "rozuzed/support/unicode.h"

namespace rozuzed {

const std::unordered_set<std::string>& BundleExtensions::known() {
  // clang-format off
  static const std::unordered_set<std::string> extensions = {
      "app", "appex", "bundle", "framework", "kext", "plugin", "pluginkit", "xpc", "prefpane",
      "qlgenerator", "saver", "mdimporter", "component", "service", "docset", "wdgt",
      "systemextension", "dext", "xcodeproj", "xcworkspace", "xcassets", "xcdatamodeld",
      "xcdatamodel", "playground", "playgroundbook", "lproj", "rtfd", "textbundle", "scptd",
      "workflow", "action", "download", "photoslibrary", "aplibrary", "imovielibrary", "theater",
      "tvlibrary", "musiclibrary", "band", "logicx", "ptx", "fcpbundle", "motn", "dvdproj",
      "sparsebundle", "migbundle", "pages", "numbers", "key", "sketch", "graffle", "oo3",
      "afdesign", "afphoto"};
  // clang-format on
  return extensions;
}

bool BundleExtensions::isKnownBundle(const std::string& extension) {
  return known().count(lowercased(extension)) > 0;
}

}  // namespace rozuzed
