#include "rozuzed/testing/in_memory_file_system.h"

#include <algorithm>
#include <cmath>

#include "rozuzed/filesystem/content_hashing.h"

namespace rozuzed::testing {
namespace {

constexpr const char* kNoSuchFile = "No such file or directory";

std::string clean(const std::string& path) {
  return FileURL::fromPath(path).path();
}

std::string parentOf(const std::string& path) {
  return FileURL::fromPath(path).deletingLastPathComponent().path();
}

std::string nameOf(const std::string& path) {
  return FileURL::fromPath(path).lastPathComponent();
}

bool isBelow(const std::string& path, const std::string& folder) {
  if (folder == "/") return path != "/";
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

std::string join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

InMemoryFileSystem::InMemoryFileSystem(std::vector<std::string> mountPoints) {
  mountPoints_.push_back("/");
  for (const auto& mount : mountPoints) {
    mountPoints_.push_back(clean(mount));
    addFolder(mount);
  }
  nodes_["/"] = Node{.kind = Kind::folder};
}

void InMemoryFileSystem::addFolder(const std::string& path) {
  makeParents(clean(path));
  nodes_[clean(path)] = Node{.kind = Kind::folder};
}

void InMemoryFileSystem::addFile(const std::string& path, FileSpec spec) {
  makeParents(clean(path));
  nodes_[clean(path)] = Node{.kind = Kind::file,
                             .contents = std::move(spec.contents),
                             .modificationDate = spec.modificationDate,
                             .creationDate = spec.creationDate,
                             .contentType = std::move(spec.contentType),
                             .whereFroms = std::move(spec.whereFroms)};
}

void InMemoryFileSystem::addSymbolicLink(const std::string& path, const std::string& target) {
  makeParents(clean(path));
  nodes_[clean(path)] = Node{.kind = Kind::link, .linkTarget = target};
}

void InMemoryFileSystem::setContents(const std::string& path, const std::string& contents) {
  Node& node = nodes_.at(clean(path));
  node.contents = contents;
  ++node.changes;
}

void InMemoryFileSystem::setModificationDate(const std::string& path, Date date) {
  Node& node = nodes_.at(clean(path));
  node.modificationDate = date;
  ++node.changes;
}

void InMemoryFileSystem::touchWithoutTrace(const std::string& path) {
  ++nodes_.at(clean(path)).changes;
}

uint64_t InMemoryFileSystem::freshInode() {
  static uint64_t next = 0;
  return ++next;
}

std::optional<FileIdentity> InMemoryFileSystem::identityOf(const std::string& path) const {
  const Node* node = find(clean(path));
  if (node == nullptr) return std::nullopt;
  const std::string mount = mountPoint(clean(path));
  auto device = std::find(mountPoints_.begin(), mountPoints_.end(), mount) - mountPoints_.begin();
  return FileIdentity{
      .device = static_cast<uint64_t>(device),
      .inode = node->inode,
      .size = node->kind == Kind::file ? static_cast<int64_t>(node->contents.size()) : 0,
      .modificationTime = std::llround(node->modificationDate * 1e9),
      .statusChangeTime = static_cast<int64_t>(node->changes)};
}

void InMemoryFileSystem::remove(const std::string& path) {
  std::string root = clean(path);
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == root || isBelow(it->first, root)) {
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
}

bool InMemoryFileSystem::exists(const std::string& path) const {
  return find(clean(path)) != nullptr;
}

std::optional<std::string> InMemoryFileSystem::contents(const std::string& path) const {
  const Node* node = find(clean(path));
  if (node == nullptr || node->kind != Kind::file) return std::nullopt;
  return node->contents;
}

std::optional<Date> InMemoryFileSystem::modificationDate(const std::string& path) const {
  const Node* node = find(clean(path));
  if (node == nullptr) return std::nullopt;
  return node->modificationDate;
}

std::vector<std::string> InMemoryFileSystem::allPaths() const {
  std::vector<std::string> out;
  for (const auto& [path, node] : nodes_) out.push_back(path);
  return out;
}

std::vector<InMemoryFileSystem::Call> InMemoryFileSystem::calls(Operation operation) const {
  std::vector<Call> out;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
               [&](const Call& call) { return call.operation == operation; });
  return out;
}

std::vector<FileURL> InMemoryFileSystem::contentsOfDirectory(const FileURL& folder) {
  record(Operation::contentsOfDirectory, folder);
  std::string resolvedPath;
  const Node* node = resolve(folder.path(), &resolvedPath);
  if (node == nullptr || node->kind != Kind::folder) {
    throw SortError::sourceUnreadable(folder, node == nullptr ? kNoSuchFile : "Not a directory");
  }
  std::vector<FileURL> out;
  for (const auto& [path, child] : nodes_) {
    if (isBelow(path, resolvedPath) && parentOf(path) == resolvedPath) {
      out.push_back(folder.appendingPathComponent(nameOf(path), child.kind == Kind::folder));
    }
  }
  finished(Operation::contentsOfDirectory, folder);
  return out;
}

FileMetadata InMemoryFileSystem::metadata(const FileURL& item) {
  record(Operation::metadata, item);
  const Node* node = find(item.path());
  if (node == nullptr) throw SortError::sourceUnreadable(item, kNoSuchFile);
  std::string name = item.lastPathComponent();
  FileMetadata out(
      item, {.size = node->kind == Kind::file ? static_cast<int64_t>(node->contents.size()) : 0,
             .creationDate = node->creationDate,
             .modificationDate = node->modificationDate,
             .contentTypeIdentifier = node->contentType,
             .isDirectory = node->kind == Kind::folder,
             .isRegularFile = node->kind == Kind::file,
             .isSymbolicLink = node->kind == Kind::link,
             .isHidden = !name.empty() && name[0] == '.',
             .whereFroms = node->whereFroms,
             .volumeID = VolumeID{mountPoint(item.path())}});
  finished(Operation::metadata, item);
  return out;
}

bool InMemoryFileSystem::fileExists(const FileURL& url) {
  record(Operation::fileExists, url);
  bool found = resolve(url.path()) != nullptr;
  finished(Operation::fileExists, url);
  return found;
}

VolumeID InMemoryFileSystem::volumeID(const FileURL& item) {
  record(Operation::volumeID, item);
  if (find(item.path()) == nullptr) throw SortError::sourceUnreadable(item, kNoSuchFile);
  VolumeID out{mountPoint(item.path())};
  finished(Operation::volumeID, item);
  return out;
}

ContentHash InMemoryFileSystem::contentHash(const FileURL& file) {
  record(Operation::contentHash, file);
  const Node* node = resolve(file.path());
  if (node == nullptr) throw SortError::hashUnreadable(file, kNoSuchFile);
  if (node->kind != Kind::file) throw SortError::hashUnreadable(file, "Not a regular file");
  ContentHash out = ContentHashing::sha256(node->contents);
  finished(Operation::contentHash, file);
  return out;
}

void InMemoryFileSystem::createDirectory(const FileURL& folder) {
  record(Operation::createDirectory, folder);
  std::string path = folder.path();
  std::vector<std::string> missing;
  for (std::string at = path; at != "/"; at = parentOf(at)) {
    const Node* node = resolve(at);
    if (node != nullptr) {
      if (node->kind != Kind::folder) {
        throw SortError::destinationNotCreatable(folder,
                                                 at == path ? "File exists" : "Not a directory");
      }
      break;
    }
    missing.push_back(at);
  }
  for (const auto& at : missing) nodes_[at] = Node{.kind = Kind::folder};
  finished(Operation::createDirectory, folder);
}

void InMemoryFileSystem::moveItem(const FileURL& source, const FileURL& destination) {
  record(Operation::moveItem, source, destination);
  if (find(destination.path()) != nullptr) throw SortError::refusedToOverwrite(destination);
  if (find(source.path()) == nullptr) {
    throw SortError::moveFailed(source, destination, kNoSuchFile);
  }
  const Node* parent = resolve(parentOf(destination.path()));
  if (parent == nullptr || parent->kind != Kind::folder) {
    throw SortError::moveFailed(source, destination, kNoSuchFile);
  }
  if (mountPoint(source.path()) != mountPoint(destination.path())) {
    throw SortError::moveFailed(source, destination, "Invalid cross-device link");
  }
  if (isBelow(destination.path(), source.path())) {
    throw SortError::moveFailed(source, destination, "Invalid argument");
  }
  transplant(source.path(), destination.path(), false);
  finished(Operation::moveItem, source, destination);
}

FileIdentity InMemoryFileSystem::copyItem(const FileURL& source, const FileURL& destination) {
  record(Operation::copyItem, source, destination);
  if (find(destination.path()) != nullptr) throw SortError::refusedToOverwrite(destination);
  if (find(source.path()) == nullptr) {
    throw SortError::copyFailed(source, destination, kNoSuchFile);
  }
  const Node* parent = resolve(parentOf(destination.path()));
  if (parent == nullptr || parent->kind != Kind::folder) {
    throw SortError::copyFailed(source, destination, kNoSuchFile);
  }
  FileIdentity opened = *identityOf(source.path());
  transplant(source.path(), destination.path(), true);
  finished(Operation::copyItem, source, destination);
  return opened;
}

FileIdentity InMemoryFileSystem::identity(const FileURL& item) {
  record(Operation::identity, item);
  auto out = identityOf(item.path());
  if (!out) throw SortError::sourceUnreadable(item, kNoSuchFile);
  finished(Operation::identity, item);
  return *out;
}

std::optional<FileURL> InMemoryFileSystem::trashItem(const FileURL& item) {
  record(Operation::trashItem, item);
  return moveToTrash(item);
}

std::optional<FileURL> InMemoryFileSystem::trashItemIfUnchanged(const FileURL& item,
                                                                const FileIdentity& expected) {
  record(Operation::trashItem, item);
  auto now = identityOf(item.path());
  if (now && *now != expected) throw SortError::sourceChangedDuringMove(item);
  return moveToTrash(item);
}

std::optional<FileURL> InMemoryFileSystem::moveToTrash(const FileURL& item) {
  if (find(item.path()) == nullptr) throw SortError::trashFailed(item, kNoSuchFile);
  std::string trashFolder = join(mountPoint(item.path()), ".Trash/files");
  makeParents(join(trashFolder, "x"));
  nodes_.try_emplace(trashFolder, Node{.kind = Kind::folder});
  std::string name = item.lastPathComponent();
  std::string target = join(trashFolder, name);
  for (int n = 2; find(target) != nullptr; ++n) {
    target = join(trashFolder, name + "." + std::to_string(n));
  }
  transplant(item.path(), target, false);
  FileURL location = FileURL::fromPath(target);
  trashed_.push_back(location);
  finished(Operation::trashItem, item);
  if (!reportsTrashLocation) return std::nullopt;
  return location;
}

void InMemoryFileSystem::forgetTrashedItem(const FileURL& trashedLocation,
                                           const FileURL& originalLocation) {
  record(Operation::forgetTrashedItem, trashedLocation, originalLocation);
  finished(Operation::forgetTrashedItem, trashedLocation, originalLocation);
}

bool InMemoryFileSystem::isInTrash(const FileURL& item) {
  record(Operation::isInTrash, item);
  const std::string path = clean(item.path());
  const std::string trash = join(mountPoint(path), ".Trash");
  bool inside = path == trash || isBelow(path, trash);
  finished(Operation::isInTrash, item);
  return inside;
}

void InMemoryFileSystem::synchronize(const FileURL& item) {
  record(Operation::synchronize, item);
  if (resolve(item.path()) == nullptr) throw SortError::copyFailed(item, item, kNoSuchFile);
  finished(Operation::synchronize, item);
}

void InMemoryFileSystem::removeOwnFile(const FileURL& item, const FileIdentity& made,
                                       const std::string&) {
  record(Operation::removeOwnFile, item);
  const Node* node = find(item.path());
  if (node == nullptr) throw SortError::copyFailed(item, item, kNoSuchFile);
  if (node->kind != Kind::file || identityOf(item.path()) != made) {
    throw SortError::sourceChangedDuringMove(item);
  }
  nodes_.erase(item.path());
  finished(Operation::removeOwnFile, item);
}

void InMemoryFileSystem::removeEmptyFolder(const FileURL& folder) {
  record(Operation::removeEmptyFolder, folder);
  const std::string path = clean(folder.path());
  const Node* node = find(path);
  if (node == nullptr) throw SortError::destinationNotCreatable(folder, kNoSuchFile);
  if (node->kind != Kind::folder) {
    throw SortError::destinationNotCreatable(folder, "Not a directory");
  }
  if (std::any_of(nodes_.begin(), nodes_.end(),
                  [&](const auto& item) { return isBelow(item.first, path); })) {
    throw SortError::destinationNotCreatable(folder, "Directory not empty");
  }
  nodes_.erase(path);
  finished(Operation::removeEmptyFolder, folder);
}

void InMemoryFileSystem::record(Operation operation, const FileURL& url,
                                const std::optional<FileURL>& destination) {
  Call call{operation, url, destination};
  calls_.push_back(call);
  if (beforeCall) beforeCall(call);
}

void InMemoryFileSystem::finished(Operation operation, const FileURL& url,
                                  const std::optional<FileURL>& destination) {
  if (afterCall) afterCall(Call{operation, url, destination});
}

const InMemoryFileSystem::Node* InMemoryFileSystem::find(const std::string& path) const {
  auto it = nodes_.find(path);
  return it == nodes_.end() ? nullptr : &it->second;
}

const InMemoryFileSystem::Node* InMemoryFileSystem::resolve(const std::string& path,
                                                            std::string* resolvedPath) const {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    const Node* node = find(at);
    if (node == nullptr) return nullptr;
    if (node->kind != Kind::link) {
      if (resolvedPath != nullptr) *resolvedPath = at;
      return node;
    }
    at = node->linkTarget.starts_with("/") ? clean(node->linkTarget)
                                           : clean(join(parentOf(at), node->linkTarget));
  }
  return nullptr;
}

void InMemoryFileSystem::makeParents(const std::string& path) {
  for (std::string at = parentOf(path); at != "/"; at = parentOf(at)) {
    auto [it, inserted] = nodes_.try_emplace(at, Node{.kind = Kind::folder});
    if (!inserted && it->second.kind == Kind::folder) break;
    it->second = Node{.kind = Kind::folder};
  }
}

std::string InMemoryFileSystem::mountPoint(const std::string& path) const {
  std::string best = "/";
  for (const auto& mount : mountPoints_) {
    if ((path == mount || isBelow(path, mount)) && mount.size() > best.size()) best = mount;
  }
  return best;
}

void InMemoryFileSystem::transplant(const std::string& from, const std::string& to,
                                    bool keepSource) {
  std::vector<std::pair<std::string, Node>> moved;
  for (const auto& [path, node] : nodes_) {
    if (path == from) moved.emplace_back(to, node);
    if (isBelow(path, from)) moved.emplace_back(to + path.substr(from.size()), node);
  }
  if (keepSource) {
    for (auto& [path, node] : moved) {
      node.inode = freshInode();
      node.changes = 0;
    }
  } else {
    remove(from);
  }
  for (auto& [path, node] : moved) nodes_[path] = std::move(node);
}

}  // namespace rozuzed::testing
