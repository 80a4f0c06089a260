#include "sortappkit/folder_access/user_defaults_bookmark_store.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace sortappkit {
namespace {

constexpr const char* kOrganisation = "Ombrix";
constexpr const char* kApplication = "Ombrix";

std::unique_ptr<QSettings> openDefaults(const std::optional<std::string>& suiteName) {
  if (suiteName && !suiteName->empty()) {
    return std::make_unique<QSettings>(QString::fromUtf8(kOrganisation),
                                       QString::fromStdString(*suiteName));
  }
  return std::make_unique<QSettings>(QString::fromUtf8(kOrganisation),
                                     QString::fromUtf8(kApplication));
}

}  // namespace

std::optional<std::string> UserDefaultsBookmarkStore::data(const std::string& key) const {
  auto settings = openDefaults(suiteName_);
  QVariant value = settings->value(QString::fromStdString(key));
  if (value.typeId() != QMetaType::QByteArray) return std::nullopt;
  QByteArray bytes = value.toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void UserDefaultsBookmarkStore::save(const std::string& bytes, const std::string& key) {
  auto settings = openDefaults(suiteName_);
  settings->setValue(QString::fromStdString(key),
                     QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  settings->sync();
}

void UserDefaultsBookmarkStore::remove(const std::string& key) {
  auto settings = openDefaults(suiteName_);
  settings->remove(QString::fromStdString(key));
  settings->sync();
}

}  // namespace sortappkit
