#pragma once

// An xml value as a tree of nodes, read from the text the type keeps and
// written back in the same form; the XQuery of the xml methods walks and
// edits it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::sqld::engine {

struct XmlNode {
  enum class Kind : std::uint8_t { Document, Element, Attribute, Text, Comment, Instruction };
  Kind kind = Kind::Document;
  std::string name;   // element, attribute, instruction target
  std::string value;  // text, attribute, comment, instruction body: unescaped
  XmlNode* parent = nullptr;
  std::vector<std::unique_ptr<XmlNode>> attributes;
  std::vector<std::unique_ptr<XmlNode>> children;
  std::size_t order = 0;  // position in document order, set by numberNodes

  // The string value: the text of all descendant text nodes for documents
  // and elements, the value of the others.
  std::string text() const;
};

// `xml` in the type's form (as xmlFromText writes it); throws SqlError 9400
// for text that is not.
std::unique_ptr<XmlNode> readXmlTree(std::string_view xml);
// Numbers the nodes in document order (attributes after their element).
void numberNodes(XmlNode& root);
// The node with `order`, or null.
XmlNode* findNode(XmlNode& root, std::size_t order);
// A node written in the type's form (a document: its children).
void writeXmlNode(std::string& out, const XmlNode& node);
// Text escaped for element content, or a double-quoted attribute value.
void appendXmlEscaped(std::string& out, std::string_view text, bool attribute);

}  // namespace tessel::sqld::engine
