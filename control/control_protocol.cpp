#include "control/control_protocol.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "base/hex.h"

namespace tervane {
namespace {

constexpr std::array<std::pair<ControlCommand, std::string_view>, 13> kCommandNames = {{
    {ControlCommand::kStatus, "status"},
    {ControlCommand::kStart, "start"},
    {ControlCommand::kStop, "stop"},
    {ControlCommand::kFolders, "folders"},
    {ControlCommand::kList, "list"},
    {ControlCommand::kSelect, "select"},
    {ControlCommand::kButtons, "buttons"},
    {ControlCommand::kClick, "click"},
    {ControlCommand::kSettings, "settings"},
    {ControlCommand::kReopenReference, "reopen-reference"},
    {ControlCommand::kLists, "lists"},
    {ControlCommand::kSpam, "spam"},
    {ControlCommand::kNotSpam, "notspam"},
}};

constexpr std::array<std::pair<ListsAction, std::string_view>, 7> kActionNames = {{
    {ListsAction::kFolder, "folder"},
    {ListsAction::kRows, "rows"},
    {ListsAction::kAdd, "add"},
    {ListsAction::kRemove, "remove"},
    {ListsAction::kImport, "import"},
    {ListsAction::kLevel, "level"},
    {ListsAction::kStats, "stats"},
}};

template <typename Key, size_t N>
std::string_view NameOf(const std::array<std::pair<Key, std::string_view>, N>& names, Key key) {
  for (const auto& [known, name] : names) {
    if (known == key)
      return name;
  }
  return {};
}

template <typename Key, size_t N>
std::optional<Key> Named(const std::array<std::pair<Key, std::string_view>, N>& names,
                         std::string_view name) {
  for (const auto& [key, known] : names) {
    if (known == name)
      return key;
  }
  return std::nullopt;
}

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Line(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// The JSON object in line, or why there is none.
std::variant<QJsonObject, std::string> ParseObject(std::string_view line, std::string_view what) {
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())), &error);
  if (error.error != QJsonParseError::NoError) {
    return "malformed " + std::string(what) + ": " + error.errorString().toStdString();
  }
  if (!document.isObject()) {
    return std::string(what) + " is not a JSON object";
  }
  return document.object();
}

// text with every control character written as \xNN, so that a reason quoting a request's text
// stays one line however the text was made.
std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      line += "\\x";
      AppendHexByte(line, byte);
    } else {
      line += c;
    }
  }
  return line;
}

// A whole number within Integer's range, or nothing.
template <typename Integer>
std::optional<Integer> ToInteger(const QJsonValue& value) {
  if (!value.isDouble()) {
    return std::nullopt;
  }
  const double number = value.toDouble();
  if (number != std::trunc(number) ||
      number < static_cast<double>(std::numeric_limits<Integer>::min()) ||
      number > static_cast<double>(std::numeric_limits<Integer>::max())) {
    return std::nullopt;
  }
  return static_cast<Integer>(number);
}
std::optional<int32_t> ToInt32(const QJsonValue& value) {
  return ToInteger<int32_t>(value);
}

// Reads the text member key of object into out; returns the error message, empty on success.
std::string ReadText(const QJsonObject& object, const char* key, std::string& out) {
  const QJsonValue value = object.value(QLatin1String(key));
  if (value.isUndefined()) {
    return std::string("missing ") + key;
  }
  if (!value.isString()) {
    return std::string(key) + " must be a string";
  }
  out = value.toString().toStdString();
  return {};
}

// The same for a member that may be absent.
std::string ReadOptionalText(const QJsonObject& object, const char* key,
                             std::optional<std::string>& out) {
  if (!object.contains(QLatin1String(key))) {
    return {};
  }
  std::string text;
  std::string error = ReadText(object, key, text);
  if (error.empty()) {
    out = std::move(text);
  }
  return error;
}

// Reads the whole number member key of object, when present; the error message, or empty.
template <typename Integer>
std::string ReadOptionalInteger(const QJsonObject& object, const char* key,
                                std::optional<Integer>& out) {
  const QJsonValue value = object.value(QLatin1String(key));
  if (value.isUndefined()) {
    return {};
  }
  out = ToInteger<Integer>(value);
  return out ? std::string() : std::string(key) + " must be a whole number";
}

// A folder is named by its name or its id, as a string or a number.
std::string ReadFolder(const QJsonObject& object, std::string& out) {
  const QJsonValue value = object.value(QLatin1String("folder"));
  if (value.isDouble()) {
    const std::optional<int32_t> id = ToInt32(value);
    if (!id) {
      return "folder must be a name or an id";
    }
    out = std::to_string(*id);
    return {};
  }
  return ReadText(object, "folder", out);
}

std::string ReadIds(const QJsonObject& object, std::vector<int32_t>& out) {
  const QJsonValue value = object.value(QLatin1String("ids"));
  if (value.isUndefined()) {
    return {};
  }
  if (!value.isArray()) {
    return "ids must be an array of message ids";
  }
  for (const QJsonValue& item : value.toArray()) {
    const std::optional<int32_t> id = ToInt32(item);
    if (!id) {
      return "ids must be an array of message ids";
    }
    out.push_back(*id);
  }
  return {};
}

// Reads the array member key of object with one reader per item; the error message, or empty.
template <typename Item, typename ReadItem>
std::string ReadRows(const QJsonObject& object, const char* key,
                     std::optional<std::vector<Item>>& out, ReadItem readItem) {
  const QJsonValue value = object.value(QLatin1String(key));
  if (value.isUndefined()) {
    return {};
  }
  if (!value.isArray()) {
    return std::string(key) + " must be an array";
  }
  std::vector<Item> rows;
  for (const QJsonValue& item : value.toArray()) {
    std::optional<Item> row = readItem(item);
    if (!row) {
      return std::string("malformed row in ") + key;
    }
    rows.push_back(std::move(*row));
  }
  out = std::move(rows);
  return {};
}

QString EncodePath(const std::string& path) {
  return QString::fromLatin1(QByteArray::fromStdString(path).toPercentEncoding("/"));
}

std::string DecodePath(const QString& text) {
  return QByteArray::fromPercentEncoding(text.toLatin1()).toStdString();
}

// Reads the store member of a status answer, when there is one.
std::string ReadStore(const QJsonObject& object, std::optional<MailStoreStatus>& out) {
  const QJsonValue value = object.value(QLatin1String("store"));
  if (value.isUndefined())
    return {};
  if (!value.isObject())
    return "store must be an object";
  const QJsonObject store = value.toObject();
  MailStoreStatus status;
  std::string location;
  for (const std::string& error :
       {ReadText(store, "kind", status.kind), ReadText(store, "location", location),
        ReadText(store, "problem", status.problem)}) {
    if (!error.empty())
      return "store: " + error;
  }
  const QJsonValue connected = store.value(QLatin1String("connected"));
  if (connected.isBool())
    status.connected = connected.toBool();
  else if (!connected.isUndefined())
    return "store: connected must be true or false";
  status.location = DecodePath(QString::fromStdString(location));
  out = std::move(status);
  return {};
}

std::optional<FolderSummary> ReadFolderRow(const QJsonValue& item) {
  const QJsonObject row = item.toObject();
  const std::optional<int32_t> id = ToInt32(row.value(QLatin1String("id")));
  const std::optional<int32_t> count = ToInt32(row.value(QLatin1String("count")));
  const QJsonValue name = row.value(QLatin1String("name"));
  const QJsonValue path = row.value(QLatin1String("path"));
  if (!id || !count || !name.isString() || !(path.isString() || path.isUndefined())) {
    return std::nullopt;
  }
  return FolderSummary{*id, name.toString().toStdString(), *count, DecodePath(path.toString())};
}

std::optional<MessageSummary> ReadMessageRow(const QJsonValue& item) {
  const QJsonObject row = item.toObject();
  const std::optional<int32_t> id = ToInt32(row.value(QLatin1String("id")));
  const QJsonValue sender = row.value(QLatin1String("sender"));
  const QJsonValue subject = row.value(QLatin1String("subject"));
  if (!id || !sender.isString() || !subject.isString()) {
    return std::nullopt;
  }
  return MessageSummary{*id, sender.toString().toStdString(), subject.toString().toStdString()};
}

std::optional<std::string> ReadTextRow(const QJsonValue& item) {
  if (!item.isString()) {
    return std::nullopt;
  }
  return item.toString().toStdString();
}

QJsonArray TextArray(const std::vector<std::string>& texts) {
  QJsonArray array;
  for (const std::string& text : texts) {
    array.append(Q(text));
  }
  return array;
}

std::optional<std::string> ReadPathRow(const QJsonValue& item) {
  if (!item.isString()) {
    return std::nullopt;
  }
  return DecodePath(item.toString());
}

// A mark request names message files, or a transfer file, not both and not neither. Paths are
// percent-encoded, as folders' are.
std::string DecodeMarks(const QJsonObject& object, ControlRequest& request) {
  std::optional<std::vector<std::string>> files;
  std::optional<std::string> transfer;
  for (std::string error : {ReadRows(object, "files", files, ReadPathRow),
                            ReadOptionalText(object, "transfer", transfer)}) {
    if (!error.empty()) {
      return error;
    }
  }
  if (files.has_value() == transfer.has_value() || (files && files->empty())) {
    return "name message files or one transfer file";
  }
  request.files = files.value_or(std::vector<std::string>{});
  request.transfer = transfer ? DecodePath(QString::fromStdString(*transfer)) : "";
  return {};
}

std::optional<int64_t> ReadLineNumber(const QJsonValue& item) {
  return ToInteger<int64_t>(item);
}

void EncodeLists(const ListsRequest& lists, QJsonObject& object) {
  object.insert("action", Q(NameOf(kActionNames, lists.action)));
  if (lists.action == ListsAction::kFolder) {
    return;
  }
  object.insert("folder", Q(lists.dataFolder));
  switch (lists.action) {
    case ListsAction::kRows:
      object.insert("list", Q(lists.list));
      object.insert("match", Q(lists.match));
      object.insert("file", Q(lists.file));
      break;
    case ListsAction::kAdd:
      object.insert("list", Q(lists.list));
      object.insert("address", Q(lists.address));
      if (lists.name) {
        object.insert("name", Q(*lists.name));
      }
      break;
    case ListsAction::kRemove:
      object.insert("list", Q(lists.list));
      object.insert("address", Q(lists.address));
      break;
    case ListsAction::kImport:
      object.insert("list", Q(lists.list));
      object.insert("file", Q(lists.file));
      break;
    case ListsAction::kLevel:
      if (lists.level) {
        object.insert("level", *lists.level);
      }
      break;
    case ListsAction::kFolder:
    case ListsAction::kStats:
      break;
  }
}

std::string DecodeLists(const QJsonObject& object, ListsRequest& lists) {
  std::string name;
  if (std::string error = ReadText(object, "action", name); !error.empty()) {
    return error;
  }
  const std::optional<ListsAction> action = Named(kActionNames, name);
  if (!action) {
    return "unknown lists action: " + OneLine(name);
  }
  lists.action = *action;
  if (*action == ListsAction::kFolder) {
    return {};
  }
  std::vector<std::string> errors{ReadText(object, "folder", lists.dataFolder)};
  switch (*action) {
    case ListsAction::kRows:
      errors.push_back(ReadText(object, "list", lists.list));
      errors.push_back(ReadText(object, "match", lists.match));
      errors.push_back(ReadText(object, "file", lists.file));
      break;
    case ListsAction::kAdd:
      errors.push_back(ReadText(object, "list", lists.list));
      errors.push_back(ReadText(object, "address", lists.address));
      errors.push_back(ReadOptionalText(object, "name", lists.name));
      break;
    case ListsAction::kRemove:
      errors.push_back(ReadText(object, "list", lists.list));
      errors.push_back(ReadText(object, "address", lists.address));
      break;
    case ListsAction::kImport:
      errors.push_back(ReadText(object, "list", lists.list));
      errors.push_back(ReadText(object, "file", lists.file));
      break;
    case ListsAction::kLevel:
      errors.push_back(ReadOptionalInteger(object, "level", lists.level));
      break;
    case ListsAction::kFolder:
    case ListsAction::kStats:
      break;
  }
  for (std::string& error : errors) {
    if (!error.empty()) {
      return std::move(error);
    }
  }
  return {};
}

void EncodeListsAnswer(const ListsAnswer& lists, QJsonObject& object) {
  const auto number = [&object](const char* key, const std::optional<int64_t>& value) {
    if (value) {
      object.insert(QLatin1String(key), static_cast<qint64>(*value));
    }
  };
  if (lists.folder) {
    object.insert("folder", Q(*lists.folder));
  }
  if (lists.result) {
    object.insert("result", Q(*lists.result));
  }
  number("count", lists.count);
  number("removed", lists.removed);
  number("imported", lists.imported);
  number("alreadyListed", lists.alreadyListed);
  if (lists.invalidLines) {
    QJsonArray lines;
    for (const int64_t line : *lists.invalidLines) {
      lines.append(static_cast<qint64>(line));
    }
    object.insert("invalidLines", lines);
  }
  if (lists.level) {
    object.insert("level", *lists.level);
  }
  if (lists.stats) {
    object.insert("secureclass", lists.stats->secureclass);
    object.insert("spamnumber", lists.stats->spamnumber);
    object.insert("number", lists.stats->number);
    object.insert("harvest",
                  lists.stats->harvest ? QJsonValue(*lists.stats->harvest) : QJsonValue());
  }
}

std::string DecodeListsAnswer(const QJsonObject& object, ListsAnswer& lists) {
  std::vector<std::string> errors{
      ReadOptionalText(object, "folder", lists.folder),
      ReadOptionalText(object, "result", lists.result),
      ReadOptionalInteger(object, "count", lists.count),
      ReadOptionalInteger(object, "removed", lists.removed),
      ReadOptionalInteger(object, "imported", lists.imported),
      ReadOptionalInteger(object, "alreadyListed", lists.alreadyListed),
      ReadRows(object, "invalidLines", lists.invalidLines, ReadLineNumber),
      ReadOptionalInteger(object, "level", lists.level),
  };
  if (object.contains(QLatin1String("secureclass"))) {
    std::optional<int32_t> secureclass, spamnumber, number;
    errors.push_back(ReadOptionalInteger(object, "secureclass", secureclass));
    errors.push_back(ReadOptionalInteger(object, "spamnumber", spamnumber));
    errors.push_back(ReadOptionalInteger(object, "number", number));
    const QJsonValue harvest = object.value(QLatin1String("harvest"));
    if (!spamnumber || !number || !(harvest.isDouble() || harvest.isNull())) {
      errors.push_back("malformed counters");
    } else if (secureclass) {
      lists.stats =
          ListsStats{*secureclass, *spamnumber, *number,
                     harvest.isDouble() ? std::optional<double>(harvest.toDouble()) : std::nullopt};
    }
  }
  for (std::string& error : errors) {
    if (!error.empty()) {
      return std::move(error);
    }
  }
  return {};
}

}  // namespace

std::string CanonicalFolderName(std::string_view name) {
  constexpr std::string_view kInbox = "Inbox";
  const auto sameLetter = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  if (std::equal(name.begin(), name.end(), kInbox.begin(), kInbox.end(), sameLetter)) {
    return std::string(kInbox);
  }
  return std::string(name);
}

std::optional<int32_t> ParseControlId(std::string_view text) {
  int32_t id = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, id);
  if (text.empty() || error != std::errc() || at != end) {
    return std::nullopt;
  }
  return id;
}

std::string_view ControlCommandName(ControlCommand command) {
  return NameOf(kCommandNames, command);
}

std::optional<ControlCommand> ParseControlCommand(std::string_view name) {
  return Named(kCommandNames, name);
}

bool IsMailClientCommand(ControlCommand command) {
  return command <= ControlCommand::kClick;
}

std::string EncodeRequest(const ControlRequest& request) {
  QJsonObject object{{"cmd", Q(ControlCommandName(request.command))}};
  switch (request.command) {
    case ControlCommand::kList:
      object.insert("folder", Q(request.folder));
      break;
    case ControlCommand::kSelect: {
      QJsonArray ids;
      for (const int32_t id : request.ids) {
        ids.append(id);
      }
      object.insert("folder", Q(request.folder));
      object.insert("ids", ids);
      break;
    }
    case ControlCommand::kClick:
      object.insert("caption", Q(request.caption));
      break;
    case ControlCommand::kLists:
      EncodeLists(request.lists, object);
      break;
    case ControlCommand::kSpam:
    case ControlCommand::kNotSpam:
      if (request.transfer.empty()) {
        QJsonArray files;
        for (const std::string& file : request.files) {
          files.append(EncodePath(file));
        }
        object.insert("files", files);
      } else {
        object.insert("transfer", EncodePath(request.transfer));
      }
      break;
    default:
      break;
  }
  return Line(object);
}

std::variant<ControlRequest, std::string> DecodeRequest(std::string_view line) {
  auto parsed = ParseObject(line, "request");
  if (auto* error = std::get_if<std::string>(&parsed)) {
    return std::move(*error);
  }
  const QJsonObject& object = std::get<QJsonObject>(parsed);

  std::string name;
  if (std::string error = ReadText(object, "cmd", name); !error.empty()) {
    return error;
  }
  const std::optional<ControlCommand> command = ParseControlCommand(name);
  if (!command) {
    return "unknown command: " + OneLine(name);
  }
  ControlRequest request;
  request.command = *command;
  std::string error;
  switch (*command) {
    case ControlCommand::kList:
      error = ReadFolder(object, request.folder);
      break;
    case ControlCommand::kSelect:
      error = ReadFolder(object, request.folder);
      if (error.empty()) {
        error = ReadIds(object, request.ids);
      }
      break;
    case ControlCommand::kClick:
      error = ReadText(object, "caption", request.caption);
      break;
    case ControlCommand::kLists:
      error = DecodeLists(object, request.lists);
      break;
    case ControlCommand::kSpam:
    case ControlCommand::kNotSpam:
      error = DecodeMarks(object, request);
      break;
    default:
      break;
  }
  if (!error.empty()) {
    return error;
  }
  return request;
}

std::string EncodeAnswer(const ControlAnswer& answer) {
  if (!answer.ok) {
    return EncodeError(answer.error);
  }
  QJsonObject object{{"ok", true}};
  if (answer.running) {
    object.insert("running", *answer.running);
  }
  if (answer.store) {
    QJsonObject store{{"kind", Q(answer.store->kind)},
                      {"location", EncodePath(answer.store->location)},
                      {"problem", Q(answer.store->problem)}};
    if (answer.store->connected)
      store.insert("connected", *answer.store->connected);
    object.insert("store", store);
  }
  if (answer.folders) {
    QJsonArray rows;
    for (const FolderSummary& folder : *answer.folders) {
      rows.append(QJsonObject{{"id", folder.id},
                              {"name", Q(folder.name)},
                              {"count", folder.count},
                              {"path", EncodePath(folder.location)}});
    }
    object.insert("folders", rows);
  }
  if (answer.messages) {
    QJsonArray rows;
    for (const MessageSummary& message : *answer.messages) {
      rows.append(QJsonObject{
          {"id", message.id}, {"sender", Q(message.sender)}, {"subject", Q(message.subject)}});
    }
    object.insert("messages", rows);
  }
  if (answer.buttons) {
    object.insert("buttons", TextArray(*answer.buttons));
  }
  if (answer.marked) {
    object.insert("marked", TextArray(*answer.marked));
  }
  if (answer.reopened) {
    object.insert("reopened", *answer.reopened);
  }
  EncodeListsAnswer(answer.lists, object);
  return Line(object);
}

std::string EncodeError(std::string_view message) {
  return Line(QJsonObject{{"ok", false}, {"error", Q(message)}});
}

std::variant<ControlAnswer, std::string> DecodeAnswer(std::string_view line) {
  auto parsed = ParseObject(line, "answer");
  if (auto* error = std::get_if<std::string>(&parsed)) {
    return std::move(*error);
  }
  const QJsonObject& object = std::get<QJsonObject>(parsed);

  ControlAnswer answer;
  const QJsonValue ok = object.value(QLatin1String("ok"));
  if (!ok.isBool()) {
    return std::string("answer without ok");
  }
  answer.ok = ok.toBool();
  if (!answer.ok) {
    if (std::string error = ReadText(object, "error", answer.error); !error.empty()) {
      return "refusal without a reason: " + error;
    }
    return answer;
  }
  for (const auto& [key, out] :
       {std::pair{"running", &answer.running}, std::pair{"reopened", &answer.reopened}}) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool()) {
      *out = value.toBool();
    } else if (!value.isUndefined()) {
      return std::string(key) + " must be true or false";
    }
  }
  for (std::string error :
       {ReadRows(object, "folders", answer.folders, ReadFolderRow),
        ReadRows(object, "messages", answer.messages, ReadMessageRow),
        ReadRows(object, "buttons", answer.buttons, ReadTextRow),
        ReadRows(object, "marked", answer.marked, ReadTextRow), ReadStore(object, answer.store),
        DecodeListsAnswer(object, answer.lists)}) {
    if (!error.empty()) {
      return error;
    }
  }
  return answer;
}

}  // namespace tervane
