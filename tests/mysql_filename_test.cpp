#include "model/mysql_filename.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vostrel {
namespace {

struct NamePair {
  std::string_view utf8;
  std::string_view on_disk;
};

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

// Directory and file names a private MariaDB 10.11 created for
// CREATE DATABASE `my-db`, `ß中` and tables `café` (MyISAM), `中`, `Ωмü`.
TEST(MysqlFileNameTest, NamesFoundOnDisk) {
  const NamePair cases[] = {
      {"my-db", "my@002ddb"},
      {"ß中", "@1j@4e2d"},
      {"café.frm", "caf@0p.frm"},
      {"café.MYD", "caf@0p.MYD"},
      {"中.ibd", "@4e2d.ibd"},
      {"Ωмü.frm", "@7P@s0@1o.frm"},
      {"db.opt", "db.opt"},
      {"ü", "@1o"},
      {"é", "@0p"},
  };
  for (const NamePair& c : cases) {
    EXPECT_EQ(DecodeMysqlFileName(c.on_disk), c.utf8) << c.on_disk;
  }
  // The extension's '.' is the separator, not part of the name: encode the stem only.
  for (const NamePair& c : cases) {
    const std::string_view name = c.on_disk.substr(0, c.on_disk.find('.'));
    EXPECT_EQ(EncodeMysqlFileName(DecodeMysqlFileName(name)), name);
  }
}

// Every printable ASCII character, as the server writes it: only letters,
// digits and '_' stay bare.
TEST(MysqlFileNameTest, PrintableAscii) {
  const std::string ascii =
      " !\"#$%&'()*+,-./"
      "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
  const std::string on_disk =
      "@0020@0021@0022@0023@0024@0025@0026@0027@0028@0029@002a@002b@002c@002d@002e@002f"
      "0123456789@003a@003b@003c@003d@003e@003f@0040ABCDEFGHIJKLMNOPQRSTUVWXYZ"
      "@005b@005c@005d@005e_@0060abcdefghijklmnopqrstuvwxyz@007b@007c@007d@007e";
  EXPECT_EQ(EncodeMysqlFileName(ascii), on_disk);
  EXPECT_EQ(DecodeMysqlFileName(on_disk), ascii);
}

// Names built by the server's CONVERT(... USING filename). Together they hold
// every character the server writes with a two-character code, plus a spread
// of characters it writes as @xxxx.
constexpr NamePair kServerNames[] = {
    {"c380c38161c38220c383c384", R"(@0G@0Ha@0I@0020@0J@0K)"},
    {"c385c3865ac387e29480c388c389", R"(@0L@0MZ@0N@2500@0O@0P)"},
    {"c38ac38b39c38ce48fafc38dc38e", R"(@0Q@0R9@0S@43ef@0T@0U)"},
    {"c38fc3905fc391e68b9ec392c393", R"(@0V@0W_@0X@62de@0Y@0Z)"},
    {"c3a0c3a12dc3a2e8878dc3a3c3a4", R"(@0g@0h@002d@0i@81cd@0j@0k)"},
    {"c3a5c3a62ec3a7ea82bcc3a8c3a9", R"(@0l@0m@002e@0n@a0bc@0o@0p)"},
    {"c3aac3ab20c3acebbeabc3adc3ae", R"(@0q@0r@0020@0s@bfab@0t@0u)"},
    {"c3afc3b024c3b1ee9a9ac3b2c3b3", R"(@0v@0w@0024@0x@e69a@0y@0z)"},
    {"c394c39523c396e0a6acc398c399", R"(@1G@1H@0023@1I@09ac@1K@1L)"},
    {"c39ac39b40c39ce2aabdc39dc39e", R"(@1M@1N@0040@1O@2abd@1P@1Q)"},
    {"c5b8c48061c482e4a6acc484c486", R"(@1R@1Sa@1T@49ac@1U@1V)"},
    {"c488c48a5ac48ce6a29bc48ec3b4", R"(@1W@1XZ@1Y@689b@1Z@1g)"},
    {"c3b5c3b639c39fe89e8ac3b8c3b9", R"(@1h@1i9@1j@878a@1k@1l)"},
    {"c3bac3bb5fc3bcea99b9c3bdc3be", R"(@1m@1n_@1o@a679@1p@1q)"},
    {"c3bfc4812dc483ec95a8c485c487", R"(@1r@1s@002d@1t@c568@1u@1v)"},
    {"c489c48b2ec48deeb197c48fc490", R"(@1w@1x@002e@1y@ec57@1z@2G)"},
    {"c492c49420c496e0bda9c498c49a", R"(@2H@2I@0020@2J@0f69@2K@2L)"},
    {"c49cc49e24c4a0e381bac4a2c4a4", R"(@2M@2N@0024@2O@307a@2P@2Q)"},
    {"c4a6c4a823c4aae4bda9c4acc4ae", R"(@2R@2S@0023@2T@4f69@2U@2V)"},
    {"c4b2c4b440c4b6e6b998c491c493", R"(@2X@2Y@0040@2Z@6e58@2g@2h)"},
    {"c495c49761c499e8b587c49bc49d", R"(@2i@2ja@2k@8d47@2l@2m)"},
    {"c49fc4a15ac4a3eab0b6c4a5c4a7", R"(@2n@2oZ@2p@ac36@2q@2r)"},
    {"c4a9c4ab39c4adecaca5c4afc4b1", R"(@2s@2t9@2u@cb25@2v@2w)"},
    {"c4b3c4b55fc4b7ef8894c4b9c4bb", R"(@2x@2y_@2z@f214@3H@3I)"},
    {"c4bdc4bf2dc581e194a6c583c585", R"(@3J@3K@002d@3L@1526@3M@3N)"},
    {"c587c58a2ec58ce398b7c58ec590", R"(@3O@3Q@002e@3R@3637@3S@3T)"},
    {"c592c59420c596e594a6c598c59a", R"(@3U@3V@0020@3W@5526@3X@3Y)"},
    {"c59cc4b824c4bae79095c4bcc4be", R"(@3Z@3g@0024@3h@7415@3i@3j)"},
    {"c580c58223c584e98c84c586c588", R"(@3k@3l@0023@3m@9304@3n@3o)"},
    {"c589c58b40c58deb87b3c58fc591", R"(@3p@3q@0040@3r@b1f3@3s@3t)"},
    {"c593c59561c597ed83a2c599c59b", R"(@3u@3va@3w@d0e2@3x@3y)"},
    {"c59dc59e5ac5a0ef9f91c5a2c5a4", R"(@3z@4GZ@4H@f7d1@4I@4J)"},
    {"c5a6c5a839c5aae1aba3c5acc5ae", R"(@4K@4L9@4M@1ae3@4N@4O)"},
    {"c5b0c5b25fc5b4e3afb4c5b6c5b9", R"(@4P@4Q_@4R@3bf4@4S@4T)"},
    {"c5bbc5bd2dc59fe5aba3c5a1c5a3", R"(@4U@4V@002d@4g@5ae3@4h@4i)"},
    {"c5a5c5a72ec5a9e7a792c5abc5ad", R"(@4j@4k@002e@4l@79d2@4m@4n)"},
    {"c5afc5b120c5b3e9a381c5b5c5b7", R"(@4o@4p@0020@4q@98c1@4r@4s)"},
    {"c5bac5bc24c5beeb9eb0c5bfce90", R"(@4t@4u@0024@4v@b7b0@4w@5y)"},
    {"ce86ce8823ce89ed9a9fce8ace91", R"(@6G@6H@0023@6I@d69f@6J@6L)"},
    {"ce93ce9440ce95efb68ece96ce97", R"(@6N@6O@0040@6P@fd8e@6Q@6R)"},
    {"ce99ce9b61ce9ce28a8ece9dce9e", R"(@6T@6Va@6W@228e@6X@6Y)"},
    {"ce9fceac5aceade486b1ceaeceaf", R"(@6Z@6gZ@6h@41b1@6i@6j)"},
    {"ceb0ceb139ceb2e682a0ceb3ceb4", R"(@6k@6l9@6m@60a0@6n@6o)"},
    {"ceb5ceb65fceb7e7be8fceb8ceb9", R"(@6p@6q_@6r@7f8f@6s@6t)"},
    {"cebacebb2dcebce9b9becebdcebe", R"(@6u@6v@002d@6w@9e7e@6x@6y)"},
    {"cebfcea12ecea4ebb5adcea5cea7", R"(@6z@7H@002e@7K@bd6d@7L@7N)"},
    {"cea8cea920ceaaee919cceabce8c", R"(@7O@7P@0020@7Q@e45c@7R@7S)"},
    {"ce8ece8f24ce92ddaece98cf92", R"(@7T@7U@0024@7W@076e@7X@7Y)"},
    {"cf93cf8023cf81e2a1bfcf82cf83", R"(@7Z@7g@0023@7h@287f@7i@7j)"},
    {"cf84cf8540cf86e49daecf87cf88", R"(@7k@7l@0040@7m@476e@7n@7o)"},
    {"cf89cf8a61cf8be6999dcf8ccf8d", R"(@7p@7qa@7r@665d@7s@7t)"},
    {"cf8ecf905acf91e8958ccf94cea6", R"(@7u@7wZ@7x@854c@8G@8H)"},
    {"cea0cf9a39cf9cea90bbcf9ecfa0", R"(@8I@8L9@8M@a43b@8N@8O)"},
    {"cfa2cfa45fcfa6ec8caacfa8cfaa", R"(@8P@8Q_@8R@c32a@8S@8T)"},
    {"cfaccfae2dce9aeea899cea3cf95", R"(@8U@8V@002d@8W@ea19@8Y@8h)"},
    {"cf96cf972ecf99e0b4abcf9bcf9d", R"(@8i@8j@002e@8k@0d2b@8l@8m)"},
    {"cf9fcfa120cfa3e2b8bccfa5cfa7", R"(@8n@8o@0020@8p@2e3c@8q@8r)"},
    {"cfa9cfab24cfade4b4abcfafcfb0", R"(@8s@8t@0024@8u@4d2b@8v@8w)"},
    {"cfb1cfb223cfb3e6b09acfbdcfbe", R"(@8x@8y@0023@8z@6c1a@9L@9M)"},
    {"cfbfcfb540cfb6e8ac89cfb8cfbb", R"(@9N@9g@0040@9h@8b09@9i@9j)"},
    {"cfbce292b661e292b7eaa7b8e292b8e292b9", R"(@9k@@Aa@@B@a9f8@@C@@D)"},
    {"e292bae292bb5ae292bceca3a7e292bde292be", R"(@@E@@FZ@@G@c8e7@@H@@I)"},
    {"e292bfe2938039e29381eebf96e29382e29383", R"(@@J@@K9@@L@efd6@@M@@N)"},
    {"e29384e293855fe29386e18ba8e29387e29388", R"(@@O@@P_@@Q@12e8@@R@@S)"},
    {"e29389e2938a2de2938be38fb9e2938ce2938d", R"(@@T@@U@002d@@V@33f9@@W@@X)"},
    {"e2938ee2938f2ee29390e58ba8e29391e29392", R"(@@Y@@Z@002e@@a@52e8@@b@@c)"},
    {"e29393e2939420e29395e78797e29396e29397", R"(@@d@@e@0020@@f@71d7@@g@@h)"},
    {"e29398e2939924e2939ae98386e2939be2939c", R"(@@i@@j@0024@@k@90c6@@l@@m)"},
    {"e2939de2939e23e2939feabeb5e293a0e293a1", R"(@@n@@o@0023@@p@afb5@@q@@r)"},
    {"e293a2e293a340e293a4ecbaa4e293a5e293a6", R"(@@s@@t@0040@@u@cea4@@v@@w)"},
    {"e293a7e293a861e293a9ef9693efbca1efbca2", R"(@@x@@ya@@z@f593@A@@B@)"},
    {"efbca3efbca45aefbca5e1a2a5efbca6d090", R"(@C@@D@Z@E@@18a5@F@@G0)"},
    {"d0a4d08839d1b8e3a6b6d2a6d38d", R"(@G1@G29@G3@39b6@G4@G5)"},
    {"d3b4d5845fe285a0e5a2a5efbca7c6b3", R"(@G6@G8_@G9@58a5@G@@Gb)"},
    {"c79ec8882dc8b0e79e94e1b880e1b8a8", R"(@Gc@Gd@002d@Ge@7794@Gl@Gm)"},
    {"e1b990e1b9b82ee1b9a0e99a83e1babee1bba6", R"(@Gn@Go@002e@Gp@9683@Gq@Gr)"},
    {"e1bc88e1bcaa20e1bdaceb95b2e1be88e1beac", R"(@Gs@Gt@0020@Gv@b572@Gw@Gx)"},
    {"d091d0a524d089ed91a1d1bad2a8", R"(@H0@H1@0024@H2@d461@H3@H4)"},
    {"d3b6d4b123d585efad90e285a1efbca8", R"(@H6@H7@0023@H8@fb50@H9@H@)"},
    {"c682c6b540c7a0e280b0c88ac8b2", R"(@Ha@Hb@0040@Hc@2030@Hd@He)"},
    {"c69de1b88261e1b8aae3bdb3e1b992e1b9ba", R"(@Hh@Hla@Hm@3f73@Hn@Ho)"},
    {"e1bb80e1bba85ae1bc89e5b9a2e1bcabe1bdad", R"(@Hq@HrZ@Hs@5e62@Ht@Hv)"},
    {"e1be89e1bead39d092e7b591d0a6d08a", R"(@Hw@Hx9@I0@7d51@I1@I2)"},
    {"d1bcd2aa5fd390e9b180d3b8d4b2", R"(@I3@I4_@I5@9c40@I6@I7)"},
    {"d586e285a22defbca9ebacafc684c6b8", R"(@I8@I9@002d@I@@bb2f@Ia@Ib)"},
    {"c7a2c88c2ee1b884ee889ee1b8ace1b994", R"(@Ic@Id@002e@Il@e21e@Im@In)"},
    {"e1b9bce1bb8220e1bbaacdb5e1bc8ae1bcac", R"(@Io@Iq@0020@Ir@0375@Is@It)"},
    {"e1bdaee1be8a24e1beaee29981d093d0a7", R"(@Iv@Iw@0024@Ix@2641@J0@J1)"},
    {"d08bd1be23d2ace494b0d392d4b3", R"(@J2@J3@0023@J4@4530@J5@J7)"},
    {"d587e285a340efbcaae6909fc687c7a4", R"(@J8@J9@0040@J@@641f@Ja@Jc)"},
    {"c88ec69361c6aee88c8ee1b886e1b8ae", R"(@Jd@Jga@Ji@830e@Jl@Jm)"},
    {"e1b996e1b9be5ae1bb84ea87bde1bbace1bc8b", R"(@Jn@JoZ@Jq@a1fd@Jr@Js)"},
    {"e1bcade1bdaf39e1be8bec83ace1beafd094", R"(@Jt@Jv9@Jw@c0ec@Jx@K0)"},
    {"d0a8d08c5fd280ee9f9bd2aed394", R"(@K1@K2_@K3@e7db@K4@K5)"},
    {"d4b4d5882de285a4e0abadefbcabc68b", R"(@K7@K8@002d@K9@0aed@K@@Ka)"},
    {"c7a6c8902ec69fe2afbee1b888e1b8b0", R"(@Kc@Kd@002e@Kh@2bfe@Kl@Km)"},
    {"e1b998e1ba8020e1bb86e4abade1bbaee1bc8c", R"(@Kn@Ko@0020@Kq@4aed@Kr@Ks)"},
    {"e1bcaee1beba24e1be8ce6a79ce1beb8d095", R"(@Kt@Kv@0024@Kw@69dc@Kx@L0)"},
    {"d0a9d08d23d2b0e8a38bd396d4b5", R"(@L1@L2@0023@L4@88cb@L5@L7)"},
    {"d589e285a540efbcacea9ebac7a8c892", R"(@L8@L9@0040@L@@a7ba@Lc@Ld)"},
    {"c6b1e1b88a61e1b8b2ec9aa9e1b99ae1ba82", R"(@Li@Lla@Lm@c6a9@Ln@Lo)"},
    {"e1baa0e1bb885ae1bbb0eeb698e1bc8de1bcaf", R"(@Lp@LqZ@Lr@ed98@Ls@Lt)"},
    {"e1bd99e1bebb39e1be8de182aae1beb9d096", R"(@Lu@Lv9@Lw@10aa@Lx@M0)"},
    {"d0aad08e5fd28ae386bbd2b2d398", R"(@M1@M2_@M3@31bb@M4@M5)"},
    {"d4b6d58a2de285a6e582aaefbcadc691", R"(@M7@M8@002d@M9@50aa@M@@Ma)"},
    {"c7aac8942ec694e6be99c6b2e1b88c", R"(@Mc@Md@002e@Mg@6f99@Mi@Ml)"},
    {"e1b8b4e1b99c20e1ba84e8ba88e1baa2e1bb8a", R"(@Mm@Mn@0020@Mo@8e88@Mp@Mq)"},
    {"e1bbb2e1bc8e24e1bcb8eab5b7e1bf88e1be8e", R"(@Mr@Ms@0024@Mt@ad77@Mv@Mw)"},
    {"d097d0ab23d08fecb1a6d28cd2b4", R"(@N0@N1@0023@N2@cc66@N3@N4)"},
    {"d39ad4b740d58bef8d95e285a7efbcae", R"(@N5@N7@0040@N8@f355@N9@N@)"},
    {"c7b6c6bc61c7ace199a7c896e1b88e", R"(@Na@Nba@Nc@1667@Nd@Nl)"},
    {"e1b8b6e1b99e5ae1ba86e39db8e1baa4e1bb8c", R"(@Nm@NnZ@No@3778@Np@Nq)"},
    {"e1bbb4e1bc8f39e1bcb9e599a7e1bd9be1bf89", R"(@Nr@Ns9@Nt@5667@Nu@Nv)"},
    {"e1be8fe1bebc5fe1bfa8e79596d098d0ac", R"(@Nw@Nx_@Ny@7556@O0@O1)"},
    {"d1a0d28e2dd2b6e99185d39cd4b8", R"(@O2@O3@002d@O4@9445@O5@O7)"},
    {"d58ce285a82eefbcafeb8cb4c698c784", R"(@O8@O9@002e@O@@b334@Oa@Ob)"},
    {"c7aec89820c8baed88a3e1b890e1b8b8", R"(@Oc@Od@0020@Oe@d223@Ol@Om)"},
    {"e1ba88e1baa624e1bb8eefa492e1bbb6e1bc98", R"(@Oo@Op@0024@Oq@f912@Or@Os)"},
    {"e1bcbae1bf8a23e1be98e1b0a4e1bfa9d099", R"(@Ot@Ov@0023@Ow@1c24@Oy@P0)"},
    {"d0add1a240d290e3b4b5d2b8d39e", R"(@P1@P2@0040@P3@3d35@P4@P5)"},
    {"d480d4b961d58de5b0a4e285a9efbcb0", R"(@P6@P7a@P8@5c24@P9@P@)"},
    {"c8bdc7875ac89ae7ac93c8bbe1b892", R"(@Pa@PbZ@Pd@7b13@Pe@Pl)"},
    {"e1b8bae1b9a239e1ba8ae9a882e1baa8e1bb90", R"(@Pm@Pn9@Po@9a02@Pp@Pq)"},
    {"e1bbb8e1bc995fe1bcbbeba3b1e1bd9de1bf8b", R"(@Pr@Ps_@Pt@b8f1@Pu@Pv)"},
    {"e1be99d09a2dd0aeed9fa0d1a4d292", R"(@Pw@Q0@002d@Q1@d7e0@Q2@Q3)"},
    {"d2bad3a02ed482efbb8fd4bad58e", R"(@Q4@Q5@002e@Q6@fecf@Q7@Q8)"},
    {"e285aaefbcb120c78ae28f8fc7b1c89c", R"(@Q9@Q@@0020@Qb@23cf@Qc@Qd)"},
    {"c8bec68124e1b894e48bb2e1b8bce1b9a4", R"(@Qe@Qf@0024@Ql@42f2@Qm@Qn)"},
    {"e1ba8ce1baaa23e1bb92e687a1e1bc9ae1bcbc", R"(@Qo@Qp@0023@Qq@61e1@Qs@Qt)"},
    {"e1bf9ae1be9a40d09be88390d0afd1a6", R"(@Qv@Qw@0040@R0@80d0@R1@R2)"},
    {"d294d2bc61d3a2e9bebfd484d4bb", R"(@R3@R4a@R5@9fbf@R6@R7)"},
    {"d58fe285ab5aefbcb2ebbaaec8a0c78d", R"(@R8@R9Z@R@@beae@Ra@Rb)"},
    {"c7b4c89e39c686ee969dc697e1b896", R"(@Rc@Rd9@Rf@e59d@Rg@Rl)"},
    {"e1b8bee1b9a65fe1ba8ee0a2afe1baace1bb94", R"(@Rm@Rn_@Ro@08af@Rp@Rq)"},
    {"e1bc9be1bcbd2de1bd9fe2a780e1bf9be1be9b", R"(@Rs@Rt@002d@Ru@29c0@Rv@Rw)"},
    {"d09cd0802ed1a8e4a2afd296d2be", R"(@S0@S1@002e@S2@48af@S3@S4)"},
    {"d3a4d48620d4bce69e9ed590e285ac", R"(@S5@S6@0020@S7@679e@S8@S9)"},
    {"efbcb3c6a024c78fe89a8dc7b8c696", R"(@S@@Sa@0024@Sb@868d@Sc@Sg)"},
    {"e1b898e1b98023e1b9a8ea95bce1ba90e1baae", R"(@Sl@Sm@0023@Sn@a57c@So@Sp)"},
    {"e1bb96e1bc9c40e1bcbeec91abe1bfb8e1be9c", R"(@Sq@Ss@0040@St@c46b@Sv@Sw)"},
    {"e1bfacd09d61d081eead9ad1aad298", R"(@Sy@T0a@T1@eb5a@T2@T3)"},
    {"d380d3a65ad488e0b9acd4bdd591", R"(@T4@T5Z@T6@0e6c@T7@T8)"},
    {"e285adefbcb439c6a2e2bdbdc791c7ba", R"(@T9@T@9@Ta@2f7d@Tb@Tc)"},
    {"c8a2c6895fc6b7e4b9ace1b89ae1b982", R"(@Td@Tf_@Ti@4e6c@Tl@Tm)"},
    {"e1b9aae1ba922de1bab0e6b59be1bb98e1bc9d", R"(@Tn@To@002d@Tp@6d5b@Tq@Ts)"},
    {"e1bcbfe1bfb92ee1be9de8b18ae1bf8cd09e", R"(@Tt@Tv@002e@Tw@8c4a@Tx@U0)"},
    {"d082d1ac20d29aeaacb9d381d3a8", R"(@U1@U2@0020@U3@ab39@U4@U5)"},
    {"d48ad4be24d592eca8a8e285aeefbcb5", R"(@U6@U7@0024@U8@ca28@U9@U@)"},
    {"c6a4c79323c7bcef8497c8a4c68a", R"(@Ua@Ub@0023@Uc@f117@Ud@Uf)"},
    {"e1b89ce1b98440e1b9ace190a9e1ba94e1bab2", R"(@Ul@Um@0040@Un@1429@Uo@Up)"},
    {"e1bb9ae1bd8861e1bfaae1bfb4e1be9ed09f", R"(@Uq@Uta@Uv@1ff4@Uw@V0)"},
    {"d083d1ae5ad29ce590a9d383d3aa", R"(@V1@V2Z@V3@5429@V4@V5)"},
    {"d48cd4bf39d593e78c98e285afefbcb6", R"(@V6@V79@V8@7318@V9@V@)"},
    {"c6a7c7955fc7bee98887c8a6c6a6", R"(@Va@Vb_@Vc@9207@Vd@Vh)"},
    {"c981e1b89e2de1b986eb83b6e1b9aee1bab4", R"(@Vi@Vl@002d@Vm@b0f6@Vn@Vp)"},
    {"e1bb9ce1bd892ee1bfabecbfa5e1be9fd0a0", R"(@Vq@Vt@002e@Vv@cfe5@Vw@W0)"},
    {"d084d1b020d29eef9b94d385d3ac", R"(@W1@W2@0020@W3@f6d4@W4@W5)"},
    {"d48ed58024d594e1a7a6efbcb7c797", R"(@W6@W7@0024@W8@19e6@W@@Wb)"},
    {"c880c8a823c68fe3abb7e1b8a0e1b988", R"(@Wc@Wd@0023@Wf@3af7@Wl@Wm)"},
    {"e1b9b0e1bab640e1bb9ee5a7a6e1bd8ae1bda8", R"(@Wn@Wp@0040@Wq@59e6@Wt@Wu)"},
    {"e1bfbae1bea861d0a1e7a395d085d1b2", R"(@Wv@Wwa@X0@78d5@X1@X2)"},
    {"d2a0d3875ad3aee99f84d581d595", R"(@X3@X4Z@X5@97c4@X7@X8)"},
    {"efbcb8c79939c882eb9ab3c8aae1b8a2", R"(@X@@Xb9@Xc@b6b3@Xd@Xl)"},
    {"e1b98ae1b9b25fe1bab8ed96a2e1bba0e1bd8b", R"(@Xm@Xn_@Xp@d5a2@Xq@Xt)"},
    {"e1bda9e1bfbb2de1bea9efb291d0a2d086", R"(@Xu@Xv@002d@Xw@fc91@Y0@Y1)"},
    {"d1b4d2a22ed389e28691d3b0d582", R"(@Y2@Y3@002e@Y4@2191@Y5@Y7)"},
    {"efbcb9c6ac20c79be482b4c884c8ac", R"(@Y@@Ya@0020@Yb@40b4@Yc@Yd)"},
    {"c690c69c24c6a9e5bea3e1b8a4e1b98c", R"(@Yf@Yg@0024@Yh@5fa3@Yl@Ym)"},
    {"e1b9b4e1baba23e1bba2e7ba92e1bca8e1bd8c", R"(@Yn@Yp@0023@Yq@7e92@Ys@Yt)"},
    {"e1bdaae1beaa40e1bf98e9b681e1bfbcd0a3", R"(@Yu@Yw@0040@Yx@9d81@Yy@Z0)"},
    {"d087d1b661d2a4ebb1b0d38bd3b2", R"(@Z1@Z2a@Z3@bc70@Z4@Z5)"},
    {"d583efbcba5ac6afee8d9fc68ec886", R"(@Z7@Z@Z@Za@e35f@Zb@Zc)"},
    {"c8aee1b8a639e1b98ed9b1e1b9b6e1babc", R"(@Zd@Zl9@Zm@0671@Zn@Zp)"},
    {"e1bba4e1bca95fe1bd8de29e82e1bdabe1beab", R"(@Zq@Zs_@Zt@2782@Zu@Zw)"},
    {"e1bf99efbd812defbd82e499b1efbd83efbd84", R"(@Zx@a@@002d@b@@4671@c@@d@)"},
    {"efbd85efbd862ed0b0e695a0d184d198", R"(@e@@f@@002e@g0@6560@g1@g2)"},
    {"d1b9d2a720d38ee8918fd3b5d5b4", R"(@g3@g4@0020@g5@844f@g6@g8)"},
    {"e285b0efbd8724c680ea8cbec6b4c79f", R"(@g9@g@@0024@ga@a33e@gb@gc)"},
    {"c889c8b123c99dec88adc9b1ca85", R"(@gd@ge@0023@gg@c22d@gh@gi)"},
    {"ca99caad40e1b881eea49ce1b8a9e1b991", R"(@gj@gk@0040@gl@e91c@gm@gn)"},
    {"e1b9b9e1ba9b61e1babfe0b0aee1bba7e1bc80", R"(@go@gpa@gq@0c2e@gr@gs)"},
    {"e1bca2e1bda45ae1be80e2b4bfe1bea4e1bf92", R"(@gt@gvZ@gw@2d3f@gx@gy)"},
    {"d0b1d18539d199e4b0aed1bbd2a9", R"(@h0@h19@h2@4c2e@h3@h4)"},
    {"d3b7d5a15fd5b5e6ac9de285b1efbd88", R"(@h6@h7_@h8@6b1d@h9@h@)"},
    {"c683c6b62dc7a1e8a88cc88bc8b3", R"(@ha@hb@002d@hc@8a0c@hd@he)"},
    {"c99ec9b22eca86eaa3bbca9acaae", R"(@hg@hh@002e@hi@a8fb@hj@hk)"},
    {"e1b883e1b8ab20e1b993ec9faae1b9bbe1bb81", R"(@hl@hm@0020@hn@c7ea@ho@hq)"},
    {"e1bba9e1bc8124e1bca3eebb99e1bda5e1be81", R"(@hr@hs@0024@ht@eed9@hv@hw)"},
    {"e1bea5e1bf9323e1bfb6e187abd0b2d186", R"(@hx@hy@0023@hz@11eb@i0@i1)"},
    {"d19ad1bd40d2abe38bbcd391d3b9", R"(@i2@i3@0040@i4@32fc@i5@i6)"},
    {"d5a2d5b661e285b2e587abefbd89c685", R"(@i7@i8a@i9@51eb@i@@ia)"},
    {"c6b9c7a35ac88de7839ac8b4c99f", R"(@ib@icZ@id@70da@ie@ig)"},
    {"c9b3ca8739ca9be8bf89caafe1b885", R"(@ih@ii9@ij@8fc9@ik@il)"},
    {"e1b8ade1b9955fe1b9bdeabab8e1bb83e1bbab", R"(@im@in_@io@aeb8@iq@ir)"},
    {"e1bc82e1bca42de1bda6ecb6a7e1be82e1bea6", R"(@is@it@002d@iv@cda7@iw@ix)"},
    {"e1bfb7d0b32ed187ef9296d19bd1bf", R"(@iz@j0@002e@j1@f496@j2@j3)"},
    {"d2add39320d5a3e19ea8d5b7e285b3", R"(@j4@j5@0020@j7@17a8@j8@j9)"},
    {"efbd8ac68824c6bae3a2b9c7a5c88f", R"(@j@@ja@0024@jb@38b9@jc@jd)"},
    {"c8b5c9a023c9b4e59ea8ca88ca9c", R"(@je@jg@0023@jh@57a8@ji@jj)"},
    {"e1b887e1b8af40e1b997e79a97e1b9bfe1bb85", R"(@jl@jm@0040@jn@7697@jo@jq)"},
    {"e1bbade1bc8361e1bca5e99686e1bda7e1be83", R"(@jr@jsa@jt@9586@jv@jw)"},
    {"e1bea7d0b45ad188eb91b5d19cd281", R"(@jx@k0Z@k1@b475@k2@k3)"},
    {"d2afd39539d5a4ed8da4d5b8e285b4", R"(@k4@k59@k7@d364@k8@k9)"},
    {"efbd8bc68c5fc6bbefa993c7a7c891", R"(@k@@ka_@kb@fa53@kc@kd)"},
    {"c8b6c9a12dc9b5e1b5a5ca89ca9d", R"(@ke@kg@002d@kh@1d65@ki@kj)"},
    {"e1b889e1b8b12ee1b999e3b9b6e1ba81e1bb87", R"(@kl@km@002e@kn@3e76@ko@kq)"},
    {"e1bbafe1bc8420e1bca6e5b5a5e1bd90e1bdb0", R"(@kr@ks@0020@kt@5d65@ku@kv)"},
    {"e1be84e1beb024e1bf96e7b194d0b5d189", R"(@kw@kx@0024@ky@7c54@l0@l1)"},
    {"d19dd2b123d397e9ad83d5a5d5b9", R"(@l2@l4@0023@l5@9b43@l7@l8)"},
    {"e285b5efbd8c40c68deba8b2c7a9c893", R"(@l9@l@@0040@la@ba32@lc@ld)"},
    {"c8b7c9a261c9b6ee84a1ca8aca9e", R"(@le@lga@lh@e121@li@lj)"},
    {"e1b88be1b8b35ae1b99bc2a3e1ba83e1baa1", R"(@ll@lmZ@ln@00a3@lo@lp)"},
    {"e1bb89e1bbb139e1bc85e29584e1bca7e1bd91", R"(@lq@lr9@ls@2544@lt@lu)"},
    {"e1bdb1e1be855fe1beb1e490b3e1bf97d0b6", R"(@lv@lw_@lx@4433@ly@m0)"},
    {"d18ad19e2dd28be68ca2d2b3d399", R"(@m1@m2@002d@m3@6322@m4@m5)"},
    {"d5a6d5ba2ee285b6e88891efbd8dc692", R"(@m7@m8@002e@m9@8211@m@@ma)"},
    {"c6bec7ab20c895ea8480c8b8c9a3", R"(@mb@mc@0020@md@a100@me@mg)"},
    {"c9b7ca8b24ca9febbfafe1b88de1b8b5", R"(@mh@mi@0024@mj@bfef@ml@mm)"},
    {"e1b99de1ba8523e1baa3ee9b9ee1bb8be1bbb3", R"(@mn@mo@0023@mp@e6de@mq@mr)"},
    {"e1bc86e1bcb040e1bd92e0a7b0e1bdb2e1be86", R"(@ms@mt@0040@mu@09f0@mv@mw)"},
    {"e1beb2d0b761d18be2ac81d19fd28d", R"(@mx@n0a@n1@2b01@n2@n3)"},
    {"d2b5d39b5ad5a7e4a7b0d5bbe285b7", R"(@n4@n5Z@n7@49f0@n8@n9)"},
    {"efbd8ec69539c6bde6a39fc7adc897", R"(@n@@na9@nb@68df@nc@nd)"},
    {"c8b9c9905fc9a4e89f8ec9b8ca8c", R"(@ne@nf_@ng@87ce@nh@ni)"},
    {"caa0e1b88f2de1b8b7ea9abde1b99fe1ba87", R"(@nj@nl@002d@nm@a6bd@nn@no)"},
    {"e1baa5e1bb8d2ee1bbb5ec96ace1bc87e1bcb1", R"(@np@nq@002e@nr@c5ac@ns@nt)"},
    {"e1bd93e1bdb320e1be87eeb29be1beb3e1bfa0", R"(@nu@nv@0020@nw@ec9b@nx@ny)"},
    {"d0b8d18c24d1a1e0beadd28fd2b7", R"(@o0@o1@0024@o2@0fad@o3@o4)"},
    {"d39dd5a823d5bce382bee285b8efbd8f", R"(@o5@o7@0023@o8@30be@o9@o@)"},
    {"c699c78640c7afe4beadc899c991", R"(@oa@ob@0040@oc@4fad@od@of)"},
    {"c9a5c9b961ca8de6ba9ccaa1e1b891", R"(@og@oha@oi@6e9c@oj@ol)"},
    {"e1b8b9e1b9a15ae1ba89e8b68be1baa7e1bb8f", R"(@om@onZ@oo@8d8b@op@oq)"},
    {"e1bbb7e1bc9039e1bcb2eab1bae1bd94e1bdb4", R"(@or@os9@ot@ac7a@ou@ov)"},
    {"e1be90e1beb45fe1bfa1ecada9d0b9d18d", R"(@ow@ox_@oy@cb69@p0@p1)"},
    {"d1a3d2912dd2b9ef8998d39fd481", R"(@p2@p3@002d@p4@f258@p5@p6)"},
    {"d5a9d5bd2ee285b9e195aaefbd90c69a", R"(@p7@p8@002e@p9@156a@p@@pa)"},
    {"c789c7b020c89be399bbc8bcc992", R"(@pb@pc@0020@pd@367b@pe@pf)"},
    {"c9a6c9ba24ca8ee595aacaa2e1b893", R"(@pg@ph@0024@pi@556a@pj@pl)"},
    {"e1b8bbe1b9a323e1ba8be79199e1baa9e1bb91", R"(@pm@pn@0023@po@7459@pp@pq)"},
    {"e1bbb9e1bc9140e1bcb3e98d88e1bd95e1bdb5", R"(@pr@ps@0040@pt@9348@pu@pv)"},
    {"e1be91e1bfa261d0baeb88b7d18ed1a5", R"(@pw@pya@q0@b237@q1@q2)"},
    {"d293d2bb5ad3a1ed84a6d483d5aa", R"(@q3@q4Z@q5@d126@q6@q7)"},
    {"d5bee285ba39efbd91efa095c69bc78c", R"(@q8@q99@q@@f815@qa@qb)"},
    {"c7b3c89d5fc993e1aca7c9a7c9bb", R"(@qc@qd_@qf@1b27@qg@qh)"},
    {"ca8fcaa32de1b895e3b0b8e1b8bde1b9a5", R"(@qi@qj@002d@ql@3c38@qm@qn)"},
    {"e1ba8de1baab2ee1bb93e5aca7e1bc92e1bcb4", R"(@qo@qp@002e@qq@5b27@qs@qt)"},
    {"e1bd96e1bdb620e1be92e7a896e1beb6e1bfa3", R"(@qu@qv@0020@qw@7a16@qx@qy)"},
    {"d0bbd18f24d1a7e9a485d295d2bd", R"(@r0@r1@0024@r2@9905@r3@r4)"},
    {"d3a3d48523d5abeb9fb4d5bfe285bb", R"(@r5@r6@0023@r7@b7f4@r8@r9)"},
    {"efbd92c69e40c78eed9ba3c7b5c89f", R"(@r@@ra@0040@rb@d6e3@rc@rd)"},
    {"c8bfc99461c9a8efb792c9bcca90", R"(@re@rfa@rg@fdd2@rh@ri)"},
    {"caa4e1b8975ae1b8bfe28b92e1b9a7e1ba8f", R"(@rj@rlZ@rm@22d2@rn@ro)"},
    {"e1baade1bb9539e1bc93e487b5e1bcb5e1bd97", R"(@rp@rq9@rs@41f5@rt@ru)"},
    {"e1bdb7e1be935fe1beb7e683a4e1bfa4d0bc", R"(@rv@rw_@rx@60e4@ry@s0)"},
    {"d190d1a92dd297e7bf93d2bfd3a5", R"(@s1@s2@002d@s3@7fd3@s4@s5)"},
    {"d487d5ac2ed680e9bb82e285bcefbd93", R"(@s6@s7@002e@s8@9ec2@s9@s@)"},
    {"c6a1c79020c7b9ebb6b1c8a1c980", R"(@sa@sb@0020@sc@bdb1@sd@se)"},
    {"c995c9a924c9bdee92a0ca91caa5", R"(@sf@sg@0024@sh@e4a0@si@sj)"},
    {"e1b899e1b98123e1b9a9deb2e1ba91e1baaf", R"(@sl@sm@0023@sn@07b2@so@sp)"},
    {"e1bb97e1bc9440e1bcb6e2a383e1bdb8e1be94", R"(@sq@ss@0040@st@28c3@sv@sw)"},
    {"e1bf82e1bfa561d0bde49eb2d191d1ab", R"(@sx@sya@t0@47b2@t1@t2)"},
    {"d299d3a75ad489e69aa1d5add681", R"(@t3@t5Z@t6@66a1@t7@t8)"},
    {"e285bdefbd9439c6a3e89690c792c7bb", R"(@t9@t@9@ta@8590@tb@tc)"},
    {"c8a3c9965fc9aaea91bfc9beca92", R"(@td@tf_@tg@a47f@th@ti)"},
    {"caa6e1b89b2de1b983ec8daee1b9abe1ba93", R"(@tj@tl@002d@tm@c36e@tn@to)"},
    {"e1bab1e1bb992ee1bc95eea99de1bcb7e1bdb9", R"(@tp@tq@002e@ts@ea5d@tt@tv)"},
    {"e1be95e1bf8320e1bfa6e0b5afd0bed192", R"(@tw@tx@0020@ty@0d6f@u0@u1)"},
    {"d1add29b24d382e2ba80d3a9d48b", R"(@u2@u3@0024@u4@2e80@u5@u6)"},
    {"d5aed68223e285bee4b5afefbd95c6a5", R"(@u7@u8@0023@u9@4d6f@u@@ua)"},
    {"c794c7bd40c8a5e6b19ec997c9ab", R"(@ub@uc@0040@ud@6c5e@uf@ug)"},
    {"c9bfca9361caa7e8ad8de1b89de1b985", R"(@uh@uia@uj@8b4d@ul@um)"},
    {"e1b9ade1ba955ae1bab3eaa8bce1bb9be1bd80", R"(@un@uoZ@up@aa3c@uq@ut)"},
    {"e1bdbae1be9639e1bf84eca4abe1bfa7d0bf", R"(@uv@uw9@ux@c92b@uy@v0)"},
    {"d193d1af5fd29def809ad384d3ab", R"(@v1@v2_@v3@f01a@v4@v5)"},
    {"d48dd5af2dd683e18cace285bfefbd96", R"(@v6@v7@002d@v8@132c@v9@v@)"},
    {"c6a8c7962ec7bfe390bdc8a7c998", R"(@va@vb@002e@vc@343d@vd@vf)"},
    {"c9acca8020ca94e58caccaa8e1b89f", R"(@vg@vh@0020@vi@532c@vj@vl)"},
    {"e1b987e1b9af24e1ba96e7889be1bab5e1bb9d", R"(@vm@vn@0024@vo@721b@vp@vq)"},
    {"e1bd81e1bdbb23e1be97e9848ad180d194", R"(@vt@vv@0023@vw@910a@w0@w1)"},
    {"d1b1d29f40d386eabfb9d3add48f", R"(@w2@w3@0040@w4@aff9@w5@w6)"},
    {"d5b0d68461efbd97ecbba8c6aac798", R"(@w7@w8a@w@@cee8@wa@wb)"},
    {"c881c8a95ac999ef9797c9adca81", R"(@wc@wdZ@wf@f5d7@wg@wh)"},
    {"ca95caa939e1b8a1e1a3a9e1b989e1b9b1", R"(@wi@wj9@wl@18e9@wm@wn)"},
    {"e1ba97e1bab75fe1bb9fe3a7bae1bd82e1bda0", R"(@wo@wp_@wq@39fa@wt@wu)"},
    {"e1bdbce1bea02de1bf86e5a3a9d181d195", R"(@wv@ww@002d@wx@58e9@x0@x1)"},
    {"d1b3d2a12ed388e79f98d3afd5b1", R"(@x2@x3@002e@x4@77d8@x5@x7)"},
    {"d685efbd9820c6abe99b87c79ac883", R"(@x8@x@@0020@xa@96c7@xb@xc)"},
    {"c8abc99a24c9aeeb96b6ca82ca96", R"(@xd@xf@0024@xg@b5b6@xh@xi)"},
    {"caaae1b8a323e1b98bed92a5e1b9b3e1ba98", R"(@xj@xl@0023@xm@d4a5@xn@xo)"},
    {"e1bab9e1bba140e1bd83efae94e1bda1e1bdbd", R"(@xp@xq@0040@xt@fb94@xu@xv)"},
    {"e1bea1e1bf8761e1bfb2e281b4d182d196", R"(@xw@xxa@xy@2074@y0@y1)"},
    {"d1b5d2a35ad38ae3beb7d3b1d5b2", R"(@y2@y3Z@y4@3fb7@y5@y7)"},
    {"efbd99c6ad39c79ce5baa6c885c8ad", R"(@y@@ya9@yb@5ea6@yc@yd)"},
    {"c99bc9af5fca83e7b695ca97caab", R"(@yf@yg_@yh@7d95@yi@yj)"},
    {"e1b8a5e1b98d2de1b9b5e9b284e1ba99e1babb", R"(@yl@ym@002d@yn@9c84@yo@yp)"},
    {"e1bba3e1bca02ee1bd84ebadb3e1bda2e1bea2", R"(@yq@ys@002e@yt@bb73@yu@yw)"},
    {"e1bf90e1bfb320d183ee89a2d197d1b7", R"(@yx@yy@0020@z0@e262@z1@z2)"},
    {"d2a5d38c24d3b3d4aad5b3efbd9a", R"(@z3@z4@0024@z5@052a@z7@z@)"},
    {"c6b0c79d23c887e29a85c8afc99c", R"(@za@zb@0023@zc@2685@zd@zf)"},
    {"c9b0ca8440ca98e495b4caace1b8a7", R"(@zg@zh@0040@zi@4574@zj@zl)"},
    {"e1b98fe1b9b761e1ba9ae691a3e1babde1bba5", R"(@zm@zna@zo@6463@zp@zq)"},
    {"e1bca1e1bd855ae1bda3e88d92e1bea3e1bf91", R"(@zs@ztZ@zu@8352@zw@zx)"},
};

TEST(MysqlFileNameTest, ServerNamesRoundTrip) {
  for (const NamePair& c : kServerNames) {
    const std::string utf8 = FromHex(c.utf8);
    EXPECT_EQ(DecodeMysqlFileName(c.on_disk), utf8) << c.on_disk;
    EXPECT_EQ(EncodeMysqlFileName(utf8), c.on_disk) << c.on_disk;
  }
}

// U+1FF4: the server reads "@zy" but writes "@1ff4"; lookups must match what it writes.
TEST(MysqlFileNameTest, CodeReadButNeverWritten) {
  EXPECT_EQ(DecodeMysqlFileName("@zy"), "\u1ff4");
  EXPECT_EQ(DecodeMysqlFileName("@1ff4"), "\u1ff4");
  EXPECT_EQ(EncodeMysqlFileName("\u1ff4"), "@1ff4");
}

// Identifiers cannot hold these; a surrogate pair keeps the round trip intact.
TEST(MysqlFileNameTest, SupplementaryCharacter) {
  EXPECT_EQ(DecodeMysqlFileName("a@d83d@de00b"), "a\U0001F600b");
  EXPECT_EQ(EncodeMysqlFileName("a\U0001F600b"), "a@d83d@de00b");
  EXPECT_EQ(DecodeMysqlFileName("@dbff@dfff"), "\U0010FFFF");
  EXPECT_EQ(EncodeMysqlFileName("\U00010000"), "@d800@dc00");
}

TEST(MysqlFileNameTest, MalformedSequencesAreKept) {
  for (std::string_view raw : {
           "@",      "@0",         "@00",         "@zz12",  "@00e",      "a@",
           "@0@",    "@00E9",      "@4E2D",       "@d800",  "@dbff",     "@de00",
           "@d83dx", "@d83d@d83d", "@de00@d83d",  "@\x7f",  "@\xc3\xa9", "@@",
           "@~~",    "caf@",       "#sql-1a2b_3", "t#P#p0",
       }) {
    EXPECT_EQ(DecodeMysqlFileName(raw), raw) << raw;
  }
  // Bad sequences do not swallow the good ones next to them.
  EXPECT_EQ(DecodeMysqlFileName("@0@0p"), "@0\u00e9");
  EXPECT_EQ(DecodeMysqlFileName("@d83d@d83d@de00"), "@d83d\U0001F600");
  EXPECT_EQ(DecodeMysqlFileName("@de00@00e9"), "@de00\u00e9");
  EXPECT_EQ(DecodeMysqlFileName("@d83d@00e9x"), "@d83d\u00e9x");
}

// The server reads "@@@" and "@0000" as NUL; no name can hold it, so keep it.
TEST(MysqlFileNameTest, NulIsNotDecoded) {
  EXPECT_EQ(DecodeMysqlFileName("@@@"), "@@@");
  EXPECT_EQ(DecodeMysqlFileName("a@0000b"), "a@0000b");
  // "@@@" is one unit: "@@A" alone is Ⓐ, but "@@@A" is NUL then 'A'.
  EXPECT_EQ(DecodeMysqlFileName("@@A"), "\u24b6");
  EXPECT_EQ(DecodeMysqlFileName("@@@A"), "@@@A");
  EXPECT_EQ(DecodeMysqlFileName("@@@@0p"), "@@@\u00e9");
}

TEST(MysqlFileNameTest, StopsAtEndOfView) {
  const std::string buffer = "x@00e9@d83d@de00";
  EXPECT_EQ(DecodeMysqlFileName(std::string_view(buffer).substr(0, 5)), "x@00e");
  EXPECT_EQ(DecodeMysqlFileName(std::string_view(buffer).substr(0, 3)), "x@0");
  EXPECT_EQ(DecodeMysqlFileName(std::string_view(buffer).substr(0, 15)), "x\u00e9@d83d@de0");
  EXPECT_EQ(DecodeMysqlFileName(std::string_view(buffer).substr(0, 2)), "x@");
  EXPECT_EQ(EncodeMysqlFileName(std::string_view("\xc3\xa9", 1)), "\xc3");
}

TEST(MysqlFileNameTest, Mysql50Prefix) {
  EXPECT_EQ(DecodeMysqlFileName("#mysql50#my-db"), "my-db");
  EXPECT_EQ(DecodeMysqlFileName("#mysql50#caf@0p"), "caf@0p");
  EXPECT_EQ(EncodeMysqlFileName("#mysql50#a-b"), "a-b");
  // Only as a prefix.
  EXPECT_EQ(DecodeMysqlFileName("x#mysql50#@0p"), "x#mysql50#\u00e9");
  EXPECT_EQ(DecodeMysqlFileName(""), "");
  EXPECT_EQ(EncodeMysqlFileName(""), "");
}

TEST(MysqlFileNameTest, InvalidUtf8IsCopiedWhenEncoding) {
  for (std::string_view bytes : {
           "\xff",
           "\x80",
           "caf\xc3",
           "\xc0\xaf",
           "\xe0\x80\xaf",
           "\xed\xa0\x80",
           "\xf4\x90\x80\x80",
           "\xf8\x88\x80\x80\x80",
           "\xe4\xb8\x41",
       }) {
    EXPECT_EQ(EncodeMysqlFileName(bytes), bytes) << testing::PrintToString(bytes);
  }
  // Valid characters around a bad byte are still encoded.
  EXPECT_EQ(EncodeMysqlFileName("\xc3\xa9\xff-"), "@0p\xff@002d");
}

}  // namespace
}  // namespace vostrel
