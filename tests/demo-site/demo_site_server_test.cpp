// The demo site's HTTP side, spoken to over raw loopback sockets so the
// exact bytes on the wire are visible.
#include "demo-site/demo_site_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "demo-site/site_pages.h"

namespace tessaly::demo {
namespace {

struct Response {
  std::string head;
  std::string body;
};

// A blocking client socket; a receive time-out keeps a broken server from
// hanging the test forever.
class RawClient {
 public:
  explicit RawClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    timeval timeout{20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return connected_; }

  void Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      ASSERT_GT(sent, 0);
      done += static_cast<std::size_t>(sent);
    }
  }

  // Reads one response framed by its Content-Length; empty when the
  // connection ends first. bodyExpected false: a HEAD response.
  std::optional<Response> Read(bool bodyExpected = true) {
    std::size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return std::nullopt;
    }
    Response response{buffer_.substr(0, headEnd + 4), {}};
    buffer_.erase(0, headEnd + 4);
    std::size_t length = 0;
    const std::size_t field = response.head.find("Content-Length: ");
    if (field != std::string::npos) length = std::stoul(response.head.substr(field + 16));
    if (!bodyExpected) length = 0;
    while (buffer_.size() < length) {
      if (!Fill()) return std::nullopt;
    }
    response.body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return response;
  }

  // True when the server has closed the connection and nothing more came.
  bool ClosedByServer() {
    while (buffer_.empty()) {
      if (!Fill()) return lastReadWasEnd_;
    }
    return false;
  }

 private:
  bool Fill() {
    char chunk[8192];
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    lastReadWasEnd_ = got == 0;
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  int fd_;
  bool connected_ = false;
  bool lastReadWasEnd_ = false;
  std::string buffer_;
};

std::string Get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

std::string StatusLine(const Response& response) {
  return response.head.substr(0, response.head.find("\r\n"));
}

class DemoSiteServerTest : public testing::Test {
 protected:
  DemoSiteServer server{Catalogue({.pages = 3, .rowsPerPage = 4}), {.recordTargets = true}};
};

TEST_F(DemoSiteServerTest, ServesThePageWithItsLengthAndType) {
  RawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  client.Send(Get("/index.php?page=2"));
  const std::optional<Response> response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(StatusLine(*response), "HTTP/1.1 200 OK");
  EXPECT_NE(response->head.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_EQ(response->head.find("chunked"), std::string::npos);
  EXPECT_EQ(response->body, RenderCataloguePage(server.SiteCatalogue(), 2));
}

TEST_F(DemoSiteServerTest, KeepsTheConnectionForFurtherRequests) {
  RawClient client(server.Port());
  client.Send(Get("/"));
  const std::optional<Response> front = client.Read();
  ASSERT_TRUE(front);
  EXPECT_EQ(front->body, RenderFrontPage(server.SiteCatalogue()));
  EXPECT_NE(front->head.find("Content-Type: text/html\r\n"), std::string::npos);

  // Two more at once: answered in order on the same connection.
  client.Send(Get("/index.php?page=1") + Get("/index.php?keyword=%41%56"));
  const std::optional<Response> page = client.Read();
  const std::optional<Response> search = client.Read();
  ASSERT_TRUE(page && search);
  EXPECT_EQ(page->body, RenderCataloguePage(server.SiteCatalogue(), 1));
  EXPECT_EQ(search->body, RenderKeywordPage(server.SiteCatalogue(), "AV", 1));
  EXPECT_EQ(server.AcceptedConnections(), 1);
  EXPECT_EQ(server.RequestedTargets(),
            (std::vector<std::string>{"/", "/index.php?page=1", "/index.php?keyword=%41%56"}));
}

TEST_F(DemoSiteServerTest, RequestBodiesAreReadAndDropped) {
  RawClient client(server.Port());
  client.Send(
      "POST /index.php?page=3 HTTP/1.1\r\nHost: x\r\nContent-Length: 11\r\n\r\nGET / HTTP/");
  client.Send(Get("/index.php?page=1"));
  const std::optional<Response> post = client.Read();
  const std::optional<Response> get = client.Read();
  ASSERT_TRUE(post && get);
  EXPECT_EQ(post->body, RenderCataloguePage(server.SiteCatalogue(), 3));
  EXPECT_EQ(get->body, RenderCataloguePage(server.SiteCatalogue(), 1));
}

TEST_F(DemoSiteServerTest, HeadGivesTheHeadersAlone) {
  RawClient client(server.Port());
  client.Send("HEAD /index.php?page=1 HTTP/1.1\r\nHost: x\r\n\r\n" + Get("/index.php?page=2"));
  const std::optional<Response> head = client.Read(false);
  const std::optional<Response> get = client.Read();
  ASSERT_TRUE(head && get);
  const std::string length =
      "Content-Length: " + std::to_string(RenderCataloguePage(server.SiteCatalogue(), 1).size());
  EXPECT_NE(head->head.find(length), std::string::npos);
  EXPECT_EQ(get->body, RenderCataloguePage(server.SiteCatalogue(), 2));
}

struct ClosingCase {
  const char* name;
  std::string request;
  const char* statusLine;
};

void PrintTo(const ClosingCase& c, std::ostream* out) {
  *out << c.name;
}

class DemoSiteServerClosing : public testing::TestWithParam<ClosingCase> {};

// After these the server answers once and ends the connection.
TEST_P(DemoSiteServerClosing, AnswersThenCloses) {
  DemoSiteServer server(Catalogue({.pages = 2, .rowsPerPage = 2}));
  RawClient client(server.Port());
  client.Send(GetParam().request);
  const std::optional<Response> response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(StatusLine(*response), GetParam().statusLine);
  EXPECT_TRUE(client.ClosedByServer());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DemoSiteServerClosing,
    testing::Values(
        ClosingCase{"ConnectionClose", Get("/", "Connection: close\r\n"), "HTTP/1.1 200 OK"},
        ClosingCase{"Http10", "GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK"},
        ClosingCase{"MalformedRequestLine", "GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        ClosingCase{"HeaderLineWithoutColon", "GET / HTTP/1.1\r\nnonsense\r\n\r\n",
                    "HTTP/1.1 400 Bad Request"},
        ClosingCase{"ChunkedBody", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                    "HTTP/1.1 501 Not Implemented"},
        ClosingCase{"HugeBody", "POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n",
                    "HTTP/1.1 413 Content Too Large"},
        ClosingCase{"HeaderBlockTooLarge",
                    "GET / HTTP/1.1\r\nX-Filler: " + std::string(kMaxRequestHeaderBytes, 'x'),
                    "HTTP/1.1 431 Request Header Fields Too Large"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DemoSiteServerTest, Http10KeepAliveIsHonoured) {
  RawClient client(server.Port());
  client.Send("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
  const std::optional<Response> first = client.Read();
  ASSERT_TRUE(first);
  EXPECT_NE(first->head.find("Connection: keep-alive"), std::string::npos);
  client.Send("GET /index.php?page=1 HTTP/1.0\r\n\r\n");
  const std::optional<Response> second = client.Read();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, RenderCataloguePage(server.SiteCatalogue(), 1));
}

TEST_F(DemoSiteServerTest, UnknownPagesAndMethodsKeepTheConnection) {
  RawClient client(server.Port());
  client.Send(Get("/nothing-here") + "DELETE / HTTP/1.1\r\nHost: x\r\n\r\n" + Get("/"));
  const std::optional<Response> missing = client.Read();
  const std::optional<Response> refused = client.Read();
  const std::optional<Response> front = client.Read();
  ASSERT_TRUE(missing && refused && front);
  EXPECT_EQ(StatusLine(*missing), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(StatusLine(*refused), "HTTP/1.1 405 Method Not Allowed");
  EXPECT_EQ(StatusLine(*front), "HTTP/1.1 200 OK");
}

// A connection that sends nothing must not hold up the others.
TEST_F(DemoSiteServerTest, AnIdleConnectionDoesNotBlockOthers) {
  RawClient idle(server.Port());
  RawClient half(server.Port());
  half.Send("GET / HTTP/1.1\r\n");  // a request cut short
  RawClient active(server.Port());
  ASSERT_TRUE(idle.Connected() && half.Connected() && active.Connected());
  active.Send(Get("/index.php?page=3"));
  const std::optional<Response> response = active.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body, RenderCataloguePage(server.SiteCatalogue(), 3));
}

TEST(DemoSiteServerLifetime, StopClosesOpenConnectionsAndFreesThePort) {
  std::uint16_t port = 0;
  {
    DemoSiteServer server(Catalogue({.pages = 1, .rowsPerPage = 1}));
    port = server.Port();
    EXPECT_NE(port, 0);
    EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(port) + "/");
    RawClient client(port);
    client.Send(Get("/"));
    ASSERT_TRUE(client.Read());
    server.Stop();
    EXPECT_TRUE(client.ClosedByServer());
    server.Stop();  // a second stop does nothing
  }
  // The same port can be bound again at once.
  DemoSiteServer again(Catalogue({.pages = 1, .rowsPerPage = 1}), {.port = port});
  EXPECT_EQ(again.Port(), port);
}

TEST(DemoSiteServerLifetime, ABusyPortIsReported) {
  DemoSiteServer first(Catalogue({.pages = 1, .rowsPerPage = 1}));
  EXPECT_THROW(DemoSiteServer(Catalogue({.pages = 1, .rowsPerPage = 1}), {.port = first.Port()}),
               std::system_error);
}

}  // namespace
}  // namespace tessaly::demo
