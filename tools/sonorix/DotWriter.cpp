// SPDX-License-Identifier: MIT
#include "DotWriter.h"

#include <map>
#include <set>

#include "JsonLine.h"

namespace Sonorix::Cli {

namespace {

constexpr size_t MaxShownValue = 60;

// Text for an HTML-like label: valid UTF-8, markup characters as entities,
// control characters (which XML forbids) as '?', long values cut.
std::string Html(std::string_view AText, size_t AMaxBytes = std::string::npos)
{
    std::string Text = ValidUtf8(AText);
    if (Text.size() > AMaxBytes) {
        size_t End = AMaxBytes;
        while (End > 0 && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80)
            --End;
        Text = Text.substr(0, End) + "\xE2\x80\xA6"; // ellipsis
    }
    std::string Result;
    for (char C : Text) {
        switch (C) {
        case '&': Result += "&amp;"; break;
        case '<': Result += "&lt;"; break;
        case '>': Result += "&gt;"; break;
        case '"': Result += "&quot;"; break;
        case '\'': Result += "&#39;"; break;
        case ']': Result += "&#93;"; break; // a cell holding only "]" trips Graphviz's lexer
        case '\t':
        case '\n':
        case '\r': Result += ' '; break;
        default: Result += (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) ? '?' : C; break;
        }
    }
    return Result;
}

// A quoted DOT ID can hold anything but '"' and '\\' safely (a backslash
// before the closing quote would escape it); other names get a made-up ID.
bool IsPlainId(const std::string& AName)
{
    if (AName.empty() || ValidUtf8(AName) != AName)
        return false;
    for (char C : AName)
        if (C == '"' || C == '\\' || static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            return false;
    return true;
}

std::string PinRow(const std::vector<std::string>& APins, char APortPrefix)
{
    std::string Row = "<TR><TD><TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" CELLPADDING=\"2\"><TR>";
    for (size_t I = 0; I < APins.size(); ++I)
        Row += "<TD PORT=\"" + std::string(1, APortPrefix) + std::to_string(I) + "\">" + Html(APins[I]) + "</TD>";
    return Row + "</TR></TABLE></TD></TR>";
}

std::string Label(const TDotNode& ANode)
{
    std::string L = "<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"3\">";
    if (!ANode.InputPins.empty())
        L += PinRow(ANode.InputPins, 'i');
    // Graphviz rejects an empty <B></B>.
    L += ANode.Name.empty() ? "<TR><TD></TD></TR>" : "<TR><TD><B>" + Html(ANode.Name) + "</B></TD></TR>";
    L += "<TR><TD>" + Html(ANode.ClassName) + "</TD></TR>";
    if (!ANode.Properties.empty()) {
        L += "<TR><TD ALIGN=\"LEFT\">";
        for (const auto& [Name, Value] : ANode.Properties)
            L += Html(Name) + " = " + Html(Value, MaxShownValue) + "<BR ALIGN=\"LEFT\"/>";
        L += "</TD></TR>";
    }
    if (!ANode.OutputPins.empty())
        L += PinRow(ANode.OutputPins, 'o');
    return L + "</TABLE>";
}

class TIds {
public:
    // Called once per node, in order; the first node of a name owns it.
    std::string Add(const std::string& AName)
    {
        std::string Id;
        if (IsPlainId(AName) && !FUsed.count(AName))
            Id = AName;
        else
            do
                Id = "node" + std::to_string(FNext++);
            while (FUsed.count(Id));
        FUsed.insert(Id);
        FByName.emplace(AName, Id);
        return "\"" + Id + "\"";
    }

    const std::string* Find(const std::string& AName) const
    {
        auto It = FByName.find(AName);
        return It == FByName.end() ? nullptr : &It->second;
    }

private:
    std::set<std::string> FUsed;
    std::map<std::string, std::string> FByName;
    unsigned FNext = 0;
};

// "Port" suffix of an edge end, empty when the pin is not in the list.
std::string Port(const std::vector<std::string>& APins, const std::string& APin, char APrefix, const char* ACompass)
{
    for (size_t I = 0; I < APins.size(); ++I)
        if (APins[I] == APin)
            return ":" + std::string(1, APrefix) + std::to_string(I) + ":" + ACompass;
    return "";
}

} // namespace

std::string WriteDot(const TDotGraph& AGraph)
{
    std::string Out = "digraph pipeline {\n"
                      "  graph [rankdir=TB];\n"
                      "  node [shape=plain, fontname=\"Helvetica\", fontsize=10];\n"
                      "  edge [arrowsize=0.7];\n";
    TIds Ids;
    std::map<std::string, const TDotNode*> ByName;
    for (const TDotNode& Node : AGraph.Nodes) {
        Out += "  " + Ids.Add(Node.Name) + " [label=<" + Label(Node) + ">];\n";
        ByName.emplace(Node.Name, &Node);
    }
    // An edge to a name that is not in the graph still shows, on a dashed box.
    for (const TDotEdge& Edge : AGraph.Edges)
        for (const std::string* Name : {&Edge.FromNode, &Edge.ToNode})
            if (!Ids.Find(*Name))
                Out += "  " + Ids.Add(*Name) + " [shape=box, style=dashed, label=<" + Html(*Name) + ">];\n";

    for (const TDotEdge& Edge : AGraph.Edges) {
        std::string From = "\"" + *Ids.Find(Edge.FromNode) + "\"";
        std::string To = "\"" + *Ids.Find(Edge.ToNode) + "\"";
        if (auto It = ByName.find(Edge.FromNode); It != ByName.end())
            From += Port(It->second->OutputPins, Edge.FromPin, 'o', "s");
        if (auto It = ByName.find(Edge.ToNode); It != ByName.end())
            To += Port(It->second->InputPins, Edge.ToPin, 'i', "n");
        Out += "  " + From + " -> " + To + ";\n";
    }
    return Out + "}\n";
}

} // namespace Sonorix::Cli
