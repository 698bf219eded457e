// The CSV reader and writer, and the atomic file writer under them.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/dataset.h"
#include "host/files.h"

namespace mixed::host {
namespace {

Dataset parse_ok(std::string_view text) {
  std::string error;
  std::optional<Dataset> d = parse_csv(text, "t.csv", error);
  EXPECT_TRUE(d.has_value()) << error;
  return d ? std::move(*d) : Dataset{};
}

std::string parse_error(std::string_view text) {
  std::string error;
  std::optional<Dataset> d = parse_csv(text, "t.csv", error);
  EXPECT_FALSE(d.has_value()) << "parsed: " << text;
  return error;
}

// A fresh directory for files the test writes, removed with its content.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/mixed-csv-test-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    for (const std::string& f : entries()) ::unlink((path_ + "/" + f).c_str());
    ::rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    DIR* d = ::opendir(path_.c_str());
    if (d == nullptr) return out;
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
    ::closedir(d);
    return out;
  }

 private:
  std::string path_;
};

TEST(CsvRead, QuotedFieldsLineEndsAndBom) {
  // Quoted commas, doubled quotes and a quoted CRLF, with CRLF records and a BOM.
  const Dataset d = parse_ok(
      "\xEF\xBB\xBF"
      "id,\"text\",n\r\n"
      "1,\"a, b\",10\r\n"
      "2,\"say \"\"hi\"\"\",20\r\n"
      "3,\"two\r\nlines\",30\r\n"
      "4,  \"blank before\"  ,40");
  ASSERT_EQ(d.n_variables(), 3u);
  ASSERT_EQ(d.n_cases(), 4u);
  EXPECT_EQ(d.var(0).name, "id");
  EXPECT_EQ(d.var(1).name, "text");
  EXPECT_FALSE(d.var(1).numeric());
  EXPECT_EQ(d.string(1, 0), "a, b");
  EXPECT_EQ(d.string(1, 1), "say \"hi\"");
  EXPECT_EQ(d.string(1, 2), "two\r\nlines");
  EXPECT_EQ(d.string(1, 3), "blank before");
  EXPECT_EQ(d.var(1).width, 12);  // "blank before"
  EXPECT_EQ(d.var(1).format.str(), "A12");
  EXPECT_EQ(d.number(2, 3), 40.0);

  // LF and lone CR records, blank lines skipped, no final line end.
  const Dataset e = parse_ok("x,y\n\n1,2\r3,4\r\n\r\n5,6");
  ASSERT_EQ(e.n_cases(), 3u);
  EXPECT_EQ(e.number(0, 1), 3.0);
  EXPECT_EQ(e.number(1, 2), 6.0);

  // String widths are counted in bytes: "é" is two.
  const Dataset u = parse_ok("s\ncaf\xC3\xA9\nab\n");
  EXPECT_EQ(u.var(0).width, 5);

  // A bare quote inside an unquoted field is kept; leading blanks of an
  // unquoted field are kept in a string column.
  const Dataset q = parse_ok("s\n5\" disk\n  x\n");
  EXPECT_EQ(q.string(0, 0), "5\" disk");
  EXPECT_EQ(q.string(0, 1), "  x");
}

TEST(CsvRead, NumericInferenceAndMissingValues) {
  const Dataset d = parse_ok(
      "a,b,c,d,e\n"
      "1, 2 ,x,NA,\n"
      "+3,1e3,1,NaN,\n"
      ",-Inf,2,inf,\n"
      "NA,.5,0x10,Infinity,\n"
      ".,-0.25e1,3,-nan,\n");
  ASSERT_EQ(d.n_cases(), 5u);
  // a: numbers with blank, NA and "." as system-missing.
  ASSERT_TRUE(d.var(0).numeric());
  EXPECT_EQ(d.number(0, 0), 1.0);
  EXPECT_EQ(d.number(0, 1), 3.0);
  EXPECT_TRUE(is_sysmis(d.number(0, 2)));
  EXPECT_TRUE(is_sysmis(d.number(0, 3)));
  EXPECT_TRUE(is_sysmis(d.number(0, 4)));
  // b: blanks around a number, exponents, -Inf as missing.
  ASSERT_TRUE(d.var(1).numeric());
  EXPECT_EQ(d.number(1, 0), 2.0);
  EXPECT_EQ(d.number(1, 1), 1000.0);
  EXPECT_TRUE(is_sysmis(d.number(1, 2)));
  EXPECT_EQ(d.number(1, 3), 0.5);
  EXPECT_EQ(d.number(1, 4), -2.5);
  // c: one field that is not a number makes the column a string, texts kept.
  ASSERT_FALSE(d.var(2).numeric());
  EXPECT_EQ(d.string(2, 0), "x");
  EXPECT_EQ(d.string(2, 3), "0x10");
  EXPECT_EQ(d.var(2).width, 4);
  // d: NaN and every spelling of the infinities are system-missing.
  ASSERT_TRUE(d.var(3).numeric());
  for (std::size_t r = 0; r < 5; ++r) EXPECT_TRUE(is_sysmis(d.number(3, r))) << r;
  // e: an empty column is numeric, all missing, F8.2.
  ASSERT_TRUE(d.var(4).numeric());
  EXPECT_EQ(d.var(4).format.str(), "F8.2");

  // Texts that only start like numbers, and signs that are not numbers.
  for (const char* s : {"12abc", "1,5", "1.2.3", "+-1", "++1", "+", "-", "e5", "1e", "NA2", "na"}) {
    EXPECT_FALSE(parse_field_number(s).has_value()) << s;
  }
  // Overflow reads as infinity (missing); underflow as a tiny number.
  EXPECT_TRUE(is_sysmis(parse_field_number("1e999")->value));
  EXPECT_EQ(parse_field_number("-1e-999")->value, 0.0);
  EXPECT_EQ(parse_field_number("4.9e-324")->value, 4.9e-324);
}

TEST(CsvRead, PrintFormats) {
  const Dataset d = parse_ok(
      "whole,dec,exp,long,neg\n"
      "1,1.5,1e-3,0.12345678901234567890,-1\n"
      "22,2.25,2.5E2,1,-10.5\n"
      "-333,-10,,2,3\n");
  EXPECT_EQ(d.var(0).format.str(), "F4.0");    // "-333"
  EXPECT_EQ(d.var(1).format.str(), "F6.2");    // "-10.00"
  EXPECT_EQ(d.var(2).format.str(), "F7.3");    // "250.000"
  EXPECT_EQ(d.var(3).format.str(), "F18.16");  // at most 16 decimals
  EXPECT_EQ(d.var(4).format.str(), "F5.1");    // "-10.5"
  // Trailing zeros written in the file count: the author chose two decimals.
  EXPECT_EQ(parse_ok("p\n0.50\n1\n").var(0).format.str(), "F4.2");
  // A factor coded 1, 2, 3 is shown as 1, 2, 3.
  const Dataset f = parse_ok("g\n1\n2\n3\n");
  EXPECT_EQ(f.format_value(0, 1), "2");
  // Huge values keep a sane width.
  EXPECT_EQ(parse_ok("h\n1e300\n").var(0).format.str(), "F40.0");
}

TEST(CsvRead, EmptyData) {
  const Dataset d = parse_ok("a,b\n");
  EXPECT_EQ(d.n_variables(), 2u);
  EXPECT_EQ(d.n_cases(), 0u);
  EXPECT_TRUE(d.var(0).numeric());
  const Dataset e = parse_ok(
      "\xEF\xBB\xBF"
      "only");
  EXPECT_EQ(e.n_variables(), 1u);
  EXPECT_EQ(e.n_cases(), 0u);
}

TEST(CsvRead, ErrorsNameTheFileAndTheLine) {
  EXPECT_EQ(parse_error("a,b,c\n1,2,3\n4,5,6,7\n"), "t.csv: line 3 has 4 fields, the header has 3");
  EXPECT_EQ(parse_error("a,b,c\n1,2\n"), "t.csv: line 2 has 2 fields, the header has 3");
  EXPECT_EQ(parse_error("a,b\n1,2\n3\n"), "t.csv: line 3 has 1 field, the header has 2");
  // A trailing comma is one more, empty, field.
  EXPECT_EQ(parse_error("a,b\n1,2,\n"), "t.csv: line 2 has 3 fields, the header has 2");
  // Lines are counted through quoted line ends and skipped blank lines; the
  // line named is where the record begins.
  EXPECT_EQ(parse_error("a,b\n\"x\ny\",1\n\n\r\n2,3,4\n"), "t.csv: line 6 has 3 fields, the header has 2");
  EXPECT_EQ(parse_error("a,b\n1,2\n3,\"open\n4,5\n"),
            "t.csv: line 3: a quoted field has no closing quote before the end of the file");
  EXPECT_EQ(parse_error("a,b\n1,\"x\"y\n"), "t.csv: line 2: field 2 has text after its closing quote");
  EXPECT_EQ(parse_error(""), "t.csv: the file is empty; its first line must name the variables");
  EXPECT_EQ(parse_error("\xEF\xBB\xBF"), "t.csv: the file is empty; its first line must name the variables");
  EXPECT_EQ(parse_error("\r\n\n\n"), "t.csv: the file is empty; its first line must name the variables");
  EXPECT_EQ(parse_error("a,,c\n"), "t.csv: line 1: column 2 has no name");
  EXPECT_EQ(parse_error("a, \"  \"\n"), "t.csv: line 1: column 2 has no name");
  EXPECT_EQ(parse_error("a,1st\n"), "t.csv: line 1: column 2 has the name \"1st\", which is not a valid variable name");
  EXPECT_EQ(parse_error("a,my var\n"),
            "t.csv: line 1: column 2 has the name \"my var\", which is not a valid variable name");
  EXPECT_EQ(parse_error("Age,x,age\n"), "t.csv: line 1: the variable name \"age\" is used by columns 1 and 3");
  EXPECT_EQ(parse_error("\"a\nb\",c\n"),
            "t.csv: line 1: column 1 has the name \"a\nb\", which is not a valid variable name");

  std::string error;
  EXPECT_FALSE(read_csv("/nonexistent/dir/data.csv", error));
  EXPECT_EQ(error, "cannot read /nonexistent/dir/data.csv: No such file or directory");
  EXPECT_FALSE(read_csv("/tmp", error));
  EXPECT_EQ(error, "cannot read /tmp: Is a directory");
}

TEST(CsvWrite, RoundTripsEveryValue) {
  Dataset d;
  Variable x;
  x.name = "x";
  d.add_numeric(x, {0.1, 1.0 / 3.0, 1e300, -0.0, SYSMIS, -123456789.125, 5e-324});
  Variable s;
  s.name = "s";
  d.add_string(s, {"plain", "a,b", "say \"hi\"", "two\nlines", "", "  lead", "cr\r"});
  TempDir dir;
  const std::string path = dir.path() + "/out.csv";
  std::string error;
  ASSERT_TRUE(write_csv(d, path, error)) << error;
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.csv"});  // no temporary left

  std::optional<Dataset> back = read_csv(path, error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->n_cases(), 7u);
  for (std::size_t r = 0; r < 7; ++r) {
    const double a = d.number(0, r), b = back->number(0, r);
    if (is_sysmis(a))
      EXPECT_TRUE(is_sysmis(b));
    else
      EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << r;  // bit for bit, -0 included
    EXPECT_EQ(back->string(1, r), d.string(1, r)) << r;
  }
  EXPECT_EQ(csv_text(d).substr(0, 20), "x,s\n0.1,plain\n0.3333");

  // A first name that begins with a byte-order mark is quoted, or the reader
  // would take the mark for the file's own.
  const Dataset bom = parse_ok("\"\xEF\xBB\xBFv\"\n1\n");
  EXPECT_EQ(csv_text(bom), "\"\xEF\xBB\xBFv\"\n1\n");

  // One numeric variable: a missing value must not become a skipped blank line.
  Dataset one;
  one.add_numeric(x, {1.0, SYSMIS, 2.0});
  EXPECT_EQ(csv_text(one), "x\n1\n\"\"\n2\n");
  std::optional<Dataset> one_back = parse_csv(csv_text(one), "one", error);
  ASSERT_TRUE(one_back) << error;
  EXPECT_EQ(one_back->n_cases(), 3u);
  EXPECT_TRUE(is_sysmis(one_back->number(0, 1)));
}

TEST(Files, AtomicWriteAndRead) {
  TempDir dir;
  const std::string path = dir.path() + "/report.txt";
  std::string error;
  ASSERT_TRUE(write_file_atomic(path, "first", error)) << error;
  ASSERT_TRUE(write_file_atomic(path, std::string_view("second\0x", 8), error)) << error;
  EXPECT_EQ(read_file(path, error), std::string("second\0x", 8));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"report.txt"});

  // The file has the usual permissions, not those of a private temporary.
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  // A directory in the way: the write fails, nothing is left behind and the
  // directory is untouched.
  const std::string sub = dir.path() + "/sub";
  ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
  EXPECT_FALSE(write_file_atomic(sub, "x", error));
  EXPECT_EQ(error.rfind("cannot write " + sub + ": ", 0), 0u) << error;
  ::rmdir(sub.c_str());
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"report.txt"});

  EXPECT_FALSE(write_file_atomic(dir.path() + "/no/such/dir/f.txt", "x", error));
  EXPECT_EQ(error, "cannot write " + dir.path() + "/no/such/dir/f.txt: No such file or directory");
  EXPECT_FALSE(write_file_atomic("", "x", error));

  EXPECT_EQ(read_file(dir.path() + "/empty", error), std::nullopt);
  ASSERT_TRUE(write_file_atomic(dir.path() + "/empty", "", error));
  EXPECT_EQ(read_file(dir.path() + "/empty", error), std::string());
}

}  // namespace
}  // namespace mixed::host
