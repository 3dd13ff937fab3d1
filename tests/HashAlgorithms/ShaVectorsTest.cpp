// Known-answer tests: the FIPS 180-2 examples and messages whose padding ends exactly at,
// just past, or one byte before the place where the length field must go.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "DigestTestSupport.h"

namespace quillgate {
namespace {

using testing::DigestHex;

const std::string k448Bits = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string k896Bits =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
    "lmnopqrsmnopqrstnopqrstu";

struct Vector {
  int method;
  std::string message;
  const char* digest;
};

// Keeps test listings readable: the million-byte message is never printed.
void PrintTo(const Vector& v, std::ostream* os) {
  *os << "method " << v.method << ", " << v.message.size() << " bytes";
}

class FipsVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(FipsVectors, MatchesPublishedDigest) {
  const Vector& v = GetParam();
  EXPECT_EQ(DigestHex(v.method, v.message), v.digest) << "message length " << v.message.size();
}

INSTANTIATE_TEST_SUITE_P(
    Sha1, FipsVectors,
    ::testing::Values(
        Vector{CSHA::SHA160, "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        Vector{CSHA::SHA160, "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        Vector{CSHA::SHA160, k448Bits, "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        Vector{CSHA::SHA160, k896Bits, "A49B2446A02C645BF419F995B67091253A04A259"},
        Vector{CSHA::SHA160, std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
        Vector{CSHA::SHA160, std::string(55, 'a'), "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
        Vector{CSHA::SHA160, std::string(56, 'a'), "C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
        Vector{CSHA::SHA160, std::string(64, 'a'), "0098BA824B5C16427BD7A1122A5A442A25EC644D"}));

INSTANTIATE_TEST_SUITE_P(
    Sha256, FipsVectors,
    ::testing::Values(Vector{CSHA::SHA256, "",
                             "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
                      Vector{CSHA::SHA256, "abc",
                             "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
                      Vector{CSHA::SHA256, k448Bits,
                             "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
                      Vector{CSHA::SHA256, k896Bits,
                             "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
                      Vector{CSHA::SHA256, std::string(1000000, 'a'),
                             "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
                      Vector{CSHA::SHA256, std::string(55, 'a'),
                             "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
                      Vector{CSHA::SHA256, std::string(56, 'a'),
                             "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
                      Vector{CSHA::SHA256, std::string(64, 'a'),
                             "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB"}));

INSTANTIATE_TEST_SUITE_P(
    Sha384, FipsVectors,
    ::testing::Values(Vector{CSHA::SHA384, "",
                             "38B060A751AC96384CD9327EB1B1E36A21FDB71114BE07434C0CC7BF63F6E1DA"
                             "274EDEBFE76F65FBD51AD2F14898B95B"},
                      Vector{CSHA::SHA384, "abc",
                             "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED"
                             "8086072BA1E7CC2358BAECA134C825A7"},
                      Vector{CSHA::SHA384, k448Bits,
                             "3391FDDDFC8DC7393707A65B1B4709397CF8B1D162AF05ABFE8F450DE5F36BC6"
                             "B0455A8520BC4E6F5FE95B1FE3C8452B"},
                      Vector{CSHA::SHA384, k896Bits,
                             "09330C33F71147E83D192FC782CD1B4753111B173B3B05D22FA08086E3B0F712"
                             "FCC7C71A557E2DB966C3E9FA91746039"},
                      Vector{CSHA::SHA384, std::string(1000000, 'a'),
                             "9D0E1809716474CB086E834E310A4A1CED149E9C00F248527972CEC5704C2A5B"
                             "07B8B3DC38ECC4EBAE97DDD87F3D8985"},
                      Vector{CSHA::SHA384, std::string(111, 'a'),
                             "3C37955051CB5C3026F94D551D5B5E2AC38D572AE4E07172085FED81F8466B8F"
                             "90DC23A8FFCDEA0B8D8E58E8FDACC80A"},
                      Vector{CSHA::SHA384, std::string(112, 'a'),
                             "187D4E07CB306103C69967BF544D0DFBE9042577599C73C330ABC0CB64C61236"
                             "D5ED565EE19119D8C31779A38F791FCD"},
                      Vector{CSHA::SHA384, std::string(128, 'a'),
                             "EDB12730A366098B3B2BEAC75A3BEF1B0969B15C48E2163C23D96994F8D1BEF7"
                             "60C7E27F3C464D3829F56C0D53808B0B"}));

INSTANTIATE_TEST_SUITE_P(
    Sha512, FipsVectors,
    ::testing::Values(Vector{CSHA::SHA512, "",
                             "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
                             "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"},
                      Vector{CSHA::SHA512, "abc",
                             "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
                             "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F"},
                      Vector{CSHA::SHA512, k448Bits,
                             "204A8FC6DDA82F0A0CED7BEB8E08A41657C16EF468B228A8279BE331A703C335"
                             "96FD15C13B1B07F9AA1D3BEA57789CA031AD85C7A71DD70354EC631238CA3445"},
                      Vector{CSHA::SHA512, k896Bits,
                             "8E959B75DAE313DA8CF4F72814FC143F8F7779C6EB9F7FA17299AEADB6889018"
                             "501D289E4900F7E4331B99DEC4B5433AC7D329EEB6DD26545E96E55B874BE909"},
                      Vector{CSHA::SHA512, std::string(1000000, 'a'),
                             "E718483D0CE769644E2E42C7BC15B4638E1F98B13B2044285632A803AFA973EB"
                             "DE0FF244877EA60A4CB0432CE577C31BEB009C5C2C49AA2E4EADB217AD8CC09B"},
                      Vector{CSHA::SHA512, std::string(111, 'a'),
                             "FA9121C7B32B9E01733D034CFC78CBF67F926C7ED83E82200EF86818196921760"
                             "B4BEFF48404DF811B953828274461673C68D04E297B0EB7B2B4D60FC6B566A2"},
                      Vector{CSHA::SHA512, std::string(112, 'a'),
                             "C01D080EFD492776A1C43BD23DD99D0A2E626D481E16782E75D54C2503B5DC32"
                             "BD05F0F1BA33E568B88FD2D970929B719ECBB152F58F130A407C8830604B70CA"},
                      Vector{CSHA::SHA512, std::string(128, 'a'),
                             "B73D1929AA615934E61A871596B3F3B33359F42B8175602E89F7E06E5F658A24"
                             "3667807ED300314B95CACDD579F3E33ABDFBE351909519A846D465C59582F321"}));

}  // namespace
}  // namespace quillgate
