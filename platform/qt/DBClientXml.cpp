// The XML data packet and the binary file of a client dataset.
#include <QDataStream>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <charconv>

#include "platform/qt/DBClient.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace DBClient {

using QtText::FromQ;
using QtText::ToQ;

namespace {

// XML 1.0 cannot carry most control characters, and readers fold CR LF into
// LF: such texts travel in base64 so they come back byte for byte.
bool NeedsBase64(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 && c != '\t' && c != '\n') return true;
  QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
  return QString::fromUtf8(bytes).toUtf8() != bytes;  // not valid UTF-8
}

std::string DoubleText(double d) {
  char buf[40];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, ec == std::errc() ? end : buf);
}

// Every V that is not a text says its kind ("i", "f", "b"), so a number
// stored in a text field stays a text.
void WriteValue(QXmlStreamWriter& w, const TValue& v) {
  w.writeStartElement(QStringLiteral("V"));
  switch (v.index()) {
    case 0: w.writeAttribute(QStringLiteral("null"), QStringLiteral("1")); break;
    case 1:
      w.writeAttribute(QStringLiteral("t"), QStringLiteral("i"));
      w.writeCharacters(QString::number(std::get<int64_t>(v)));
      break;
    case 2:
      w.writeAttribute(QStringLiteral("t"), QStringLiteral("f"));
      w.writeCharacters(ToQ(DoubleText(std::get<double>(v))));
      break;
    case 3: {
      const std::string& s = std::get<std::string>(v);
      if (NeedsBase64(s)) {
        w.writeAttribute(QStringLiteral("enc"), QStringLiteral("base64"));
        w.writeCharacters(QString::fromLatin1(QByteArray(s.data(), static_cast<qsizetype>(s.size())).toBase64()));
      } else {
        w.writeCharacters(ToQ(s));
      }
      break;
    }
    default:
      w.writeAttribute(QStringLiteral("t"), QStringLiteral("b"));
      w.writeCharacters(std::get<bool>(v) ? QStringLiteral("true") : QStringLiteral("false"));
  }
  w.writeEndElement();
}

TValue ReadValue(const QString& kind, const QString& text, bool base64, TFieldType type) {
  if (kind == QStringLiteral("s")) {
    if (base64) {
      QByteArray b = QByteArray::fromBase64(text.toLatin1());
      return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    return FromQ(text);
  }
  bool ok = false;
  if (kind == QStringLiteral("i")) {
    qlonglong i = text.toLongLong(&ok);
    if (ok) return static_cast<int64_t>(i);
  } else if (kind == QStringLiteral("f")) {
    std::string t = FromQ(text);
    double d = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec == std::errc() && end == t.data() + t.size()) return d;
  } else if (kind == QStringLiteral("b")) {
    if (text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
  }
  throw EDatabaseError("Malformed data packet: '" + FromQ(text) + "' is not a value of type " + FieldTypeName(type));
}

}  // namespace

std::string TClientDataSet::XMLData() const {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.writeStartDocument();
  w.writeStartElement(QStringLiteral("DATAPACKET"));
  w.writeAttribute(QStringLiteral("Version"), QStringLiteral("2.0"));
  w.writeStartElement(QStringLiteral("METADATA"));
  w.writeStartElement(QStringLiteral("FIELDS"));
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    w.writeStartElement(QStringLiteral("FIELD"));
    w.writeAttribute(QStringLiteral("attrname"), ToQ(f.FieldName()));
    w.writeAttribute(QStringLiteral("fieldtype"), QString::fromLatin1(FieldTypeName(f.DataType())));
    if (f.Size() > 0) w.writeAttribute(QStringLiteral("WIDTH"), QString::number(f.Size()));
    w.writeEndElement();
  }
  w.writeEndElement();  // FIELDS
  w.writeEndElement();  // METADATA
  w.writeStartElement(QStringLiteral("ROWDATA"));
  for (int r = 0; r < RecordCount(); ++r) {
    w.writeStartElement(QStringLiteral("ROW"));
    for (int c = 0; c < FieldCount(); ++c) {
      WriteValue(w, Cell(r, c));
    }
    w.writeEndElement();
  }
  w.writeEndElement();  // ROWDATA
  w.writeEndElement();  // DATAPACKET
  w.writeEndDocument();
  return std::string(out.constData(), static_cast<size_t>(out.size()));
}

void TClientDataSet::SetXMLData(const std::string& xml) {
  TClientDataSet loaded;
  QXmlStreamReader r(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
  std::vector<TValue> row;
  bool sawPacket = false;
  while (!r.atEnd()) {
    r.readNext();
    if (!r.isStartElement()) continue;
    const auto name = r.name();
    if (name == QStringLiteral("DATAPACKET")) {
      sawPacket = true;
    } else if (name == QStringLiteral("FIELD")) {
      auto a = r.attributes();
      std::string type = FromQ(a.value(QStringLiteral("fieldtype")).toString());
      TFieldType t = FieldTypeFromName(type);
      if (t == TFieldType::ftUnknown && type != "unknown")
        throw EDatabaseError("Malformed data packet: unknown field type '" + type + "'");
      loaded.AddField(FromQ(a.value(QStringLiteral("attrname")).toString()), t,
                      a.value(QStringLiteral("WIDTH")).toInt());
    } else if (name == QStringLiteral("ROW")) {
      row.clear();
    } else if (name == QStringLiteral("V")) {
      if (static_cast<int>(row.size()) >= loaded.FieldCount())
        throw EDatabaseError("Malformed data packet: a row holds more values than there are fields");
      auto a = r.attributes();
      bool isNull = a.value(QStringLiteral("null")) == QStringLiteral("1");
      QString kind = a.hasAttribute(QStringLiteral("t")) ? a.value(QStringLiteral("t")).toString() : QStringLiteral("s");
      bool base64 = a.value(QStringLiteral("enc")) == QStringLiteral("base64");
      QString text = r.readElementText();
      TFieldType type = loaded.Fields(static_cast<int>(row.size())).DataType();
      row.push_back(isNull ? TValue(std::monostate{}) : ReadValue(kind, text, base64, type));
      if (static_cast<int>(row.size()) == loaded.FieldCount()) loaded.AppendRecord(std::move(row)), row.clear();
    }
  }
  if (r.hasError())
    throw EDatabaseError("Malformed data packet at line " + std::to_string(r.lineNumber()) + ": " +
                         FromQ(r.errorString()));
  if (!sawPacket) throw EDatabaseError("Not a data packet: no DATAPACKET element");
  if (!row.empty()) throw EDatabaseError("Malformed data packet: a row holds fewer values than there are fields");
  CopyFrom(loaded);
}

void TClientDataSet::SaveToFile(const std::string& path) const {
  QSaveFile f(ToQ(path));
  std::string xml = XMLData();
  if (!f.open(QIODevice::WriteOnly) || f.write(xml.data(), static_cast<qint64>(xml.size())) != static_cast<qint64>(xml.size()) ||
      !f.commit())
    throw EDatabaseError("Cannot write the data packet \"" + path + "\": " + FromQ(f.errorString()));
}

namespace {
// A FIFO or folder in the file's place is refused at once, not waited on.
std::string ReadWhole(const std::string& path, const char* what) {
  try {
    FileAccess::TContent c = FileAccess::ReadFile(path);
    if (!c.Exists) throw EDatabaseError(std::string("Cannot read the ") + what + " \"" + path + "\": No such file or directory");
    return std::move(c.Bytes);
  } catch (const FileAccess::EFileError& e) {
    throw EDatabaseError(std::string("Cannot read the ") + what + ": " + e.what());
  }
}
}  // namespace

void TClientDataSet::LoadFromFile(const std::string& path) {
  std::string bytes = ReadWhole(path, "data packet");
  try {
    SetXMLData(bytes);
  } catch (const EDatabaseError& e) {
    throw EDatabaseError("\"" + path + "\": " + e.what());
  }
}

namespace {
constexpr quint32 kBinaryMagic = 0x54434453;  // "TCDS"
constexpr quint32 kBinaryVersion = 1;
}  // namespace

void TClientDataSet::SaveToBinaryFile(const std::string& path) const {
  QSaveFile f(ToQ(path));
  const std::string bytes = BinaryData();
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
      !f.commit())
    throw EDatabaseError("Cannot write the dataset file \"" + path + "\": " + FromQ(f.errorString()));
}

std::string TClientDataSet::BinaryData() const {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_4);
  out << kBinaryMagic << kBinaryVersion << static_cast<qint32>(FieldCount());
  for (int i = 0; i < FieldCount(); ++i)
    out << ToQ(Fields(i).FieldName()) << static_cast<qint32>(Fields(i).DataType()) << static_cast<qint32>(Fields(i).Size());
  out << static_cast<qint64>(RecordCount());
  for (int r = 0; r < RecordCount(); ++r)
    for (int c = 0; c < FieldCount(); ++c) {
      const TValue& v = Cell(r, c);
      out << static_cast<quint8>(v.index());
      switch (v.index()) {
        case 1: out << static_cast<qint64>(std::get<int64_t>(v)); break;
        case 2: out << std::get<double>(v); break;
        case 3: {
          const std::string& s = std::get<std::string>(v);
          out << QByteArray(s.data(), static_cast<qsizetype>(s.size()));
          break;
        }
        case 4: out << std::get<bool>(v); break;
        default: break;
      }
    }
  if (out.status() != QDataStream::Ok) throw EDatabaseError("Cannot encode the dataset");
  return bytes.toStdString();
}

void TClientDataSet::LoadFromBinaryFile(const std::string& path) {
  const QByteArray bytes = QByteArray::fromStdString(ReadWhole(path, "dataset file"));
  auto bad = [&](const std::string& why) { return EDatabaseError("\"" + path + "\" is not a dataset file: " + why); };
  QDataStream in(bytes);
  in.setVersion(QDataStream::Qt_6_4);
  quint32 magic = 0, version = 0;
  qint32 fields = 0;
  in >> magic >> version >> fields;
  if (magic != kBinaryMagic) throw bad("wrong magic word");
  if (version != kBinaryVersion) throw bad("format version " + std::to_string(version) + " is not known");
  if (fields < 0 || fields > 100000) throw bad("bad field count");
  TClientDataSet loaded;
  for (qint32 i = 0; i < fields; ++i) {
    QString name;
    qint32 type = 0, size = 0;
    in >> name >> type >> size;
    if (type < 0 || type > static_cast<qint32>(TFieldType::ftBlob)) throw bad("bad field type");
    loaded.AddField(FromQ(name), static_cast<TFieldType>(type), size);
  }
  qint64 records = 0;
  in >> records;
  if (records < 0 || (fields == 0 && records > 0)) throw bad("bad record count");
  for (qint64 r = 0; r < records && in.status() == QDataStream::Ok; ++r) {
    std::vector<TValue> row;
    for (qint32 c = 0; c < fields; ++c) {
      quint8 kind = 0;
      in >> kind;
      switch (kind) {
        case 0: row.emplace_back(std::monostate{}); break;
        case 1: {
          qint64 i = 0;
          in >> i;
          row.emplace_back(static_cast<int64_t>(i));
          break;
        }
        case 2: {
          double d = 0;
          in >> d;
          row.emplace_back(d);
          break;
        }
        case 3: {
          QByteArray b;
          in >> b;
          row.emplace_back(std::string(b.constData(), static_cast<size_t>(b.size())));
          break;
        }
        case 4: {
          bool b = false;
          in >> b;
          row.emplace_back(b);
          break;
        }
        default: throw bad("bad value kind");
      }
    }
    loaded.AppendRecord(std::move(row));
  }
  if (in.status() != QDataStream::Ok) throw bad("it ends too early");
  if (!in.atEnd()) throw bad("it holds more than its records");
  CopyFrom(loaded);
}

}  // namespace DBClient
