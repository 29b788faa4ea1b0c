#include "util/json_text.hpp"

#include <simdjson.h>

#include <algorithm>

#include "util/utf8.hpp"

namespace vellum {

Error json_error_at(std::string_view message, std::string_view document, std::size_t offset) {
  return Error::json(std::string(message) + " at " + line_and_column(document, offset));
}

namespace {

std::string_view describe(simdjson::error_code code) {
  switch (code) {
    case simdjson::NUMBER_OUT_OF_RANGE: return "integer out of the signed 64-bit range";
    case simdjson::UTF8_ERROR: return "invalid UTF-8";
    case simdjson::EMPTY: return "EOF while parsing a value";
    default: return simdjson::error_message(code);
  }
}

// Why a member value that is not a signed 64-bit integer was refused.
std::string_view describe_non_integer(simdjson::ondemand::value& value) {
  simdjson::ondemand::number_type type;
  if (value.get_number_type().get(type) != simdjson::SUCCESS) return "expected an integer";
  if (type == simdjson::ondemand::number_type::floating_point_number) {
    return "expected an integer, found a fraction or exponent";
  }
  return "integer out of the signed 64-bit range";
}

bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where the top-level object of `document` ends (one past its closing brace) and where the
// first problem lies: the first non-whitespace byte after the object, or, when the object never
// closes (end is npos), the end of the document. A document not starting with "{" is left to
// the parser (end is the document size).
struct ObjectExtent {
  std::size_t end;
  std::size_t problem;
};

ObjectExtent find_object_extent(std::string_view document) {
  std::size_t i = 0;
  while (i < document.size() && is_json_whitespace(document[i])) ++i;
  if (i == document.size() || document[i] != '{') return {document.size(), std::string_view::npos};
  std::size_t depth = 0;
  bool in_string = false;
  for (; i < document.size(); ++i) {
    const char c = document[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      std::size_t rest = i + 1;
      while (rest < document.size() && is_json_whitespace(document[rest])) ++rest;
      return {i + 1, rest == document.size() ? std::string_view::npos : rest};
    }
  }
  return {std::string_view::npos, document.size()};
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

Result<void> read_integer_object(std::string_view document, const IntegerMemberSink& sink) {
  // The object is cut out first, so that what follows it and a missing end are named as such.
  const ObjectExtent extent = find_object_extent(document);
  if (extent.end == std::string_view::npos) {
    return std::unexpected(json_error_at("EOF while parsing an object", document, extent.problem));
  }
  if (extent.problem != std::string_view::npos) {
    return std::unexpected(json_error_at("trailing characters", document, extent.problem));
  }

  const simdjson::padded_string json(document.substr(0, extent.end));
  simdjson::ondemand::parser parser;
  simdjson::ondemand::document doc;
  auto fail = [&](std::string_view message) -> Result<void> {
    const char* location = nullptr;
    std::size_t offset = extent.end;
    if (doc.current_location().get(location) == simdjson::SUCCESS) {
      offset = static_cast<std::size_t>(location - json.data());
    }
    return std::unexpected(json_error_at(message, document, offset));
  };
  if (auto code = parser.iterate(json).get(doc); code) {
    // The whole input is checked before iteration starts, so there is no position to ask for.
    const std::size_t offset = code == simdjson::UTF8_ERROR ? valid_utf8_prefix_length(document) : 0;
    return std::unexpected(json_error_at(describe(code), document, offset));
  }

  simdjson::ondemand::object object;
  if (auto code = doc.get_object().get(object); code) {
    return fail(code == simdjson::INCORRECT_TYPE ? "expected a JSON object" : describe(code));
  }
  for (auto member : object) {
    simdjson::ondemand::field field;
    if (auto code = std::move(member).get(field); code) return fail(describe(code));
    // The raw key starts just after its opening quote (and is gone once unescaped).
    const std::size_t key_offset = static_cast<std::size_t>(field.key().raw() - json.data()) - 1;
    std::string_view key;
    if (auto code = field.unescaped_key().get(key); code) return fail(describe(code));
    const char* value_location = nullptr;
    std::size_t value_offset = extent.end;
    if (doc.current_location().get(value_location) == simdjson::SUCCESS) {
      value_offset = static_cast<std::size_t>(value_location - json.data());
    }
    std::int64_t value = 0;
    if (auto code = field.value().get_int64().get(value); code) {
      return fail(code == simdjson::INCORRECT_TYPE ? describe_non_integer(field.value())
                                                   : describe(code));
    }
    if (auto status = sink(key, value, key_offset, value_offset); !status) return status;
  }
  return ok();
}

}  // namespace vellum
