#include "engine_core/lexicon.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <unordered_map>

#include "engine_core/word_table.h"

namespace Quellmar::engine_core {
namespace {

// Function words first (marked with a leading '*': no pitch accent), then
// content words the rules would get wrong.
constexpr const char* kLexicon = R"(
*a AX0|*an AX0 N|*the DH AX0|*of AH0 V|*to T UW0|*and AE0 N D|*in IH0 N|*is IH0 Z|*it IH0 T
*that DH AE0 T|*for F AO0 R|*on AA0 N|*with W IH0 DH|*as AE0 Z|*was W AH0 Z|*he HH IY0
*she SH IY0|*we W IY0|*you Y UW0|*they DH EY0|*i AY0|*at AE0 T|*be B IY0|*this DH IH0 S
*have HH AE0 V|*has HH AE0 Z|*had HH AE0 D|*from F R AH0 M|*or AO0 R|*by B AY0|*but B AH0 T
*were W ER0|*when W EH0 N|*there DH EH0 R|*can K AE0 N|*your Y AO0 R|*which W IH0 CH
*their DH EH0 R|*if IH0 F|*do D UW0|*will W IH0 L|*them DH EH0 M|*then DH EH0 N|*so S OW0
*her HH ER0|*would W UH0 D|*him HH IH0 M|*his HH IH0 Z|*into IH0 N T UW0|*could K UH0 D
*my M AY0|*than DH AE0 N|*been B IH0 N|*who HH UW0|*its IH0 T S|*are AA0 R|*does D AH0 Z
*should SH UH0 D|*me M IY0|*us AH0 S|*our AW0 ER0|*an AX0 N|*am AE0 M|*some S AH0 M
*these DH IY0 Z|*those DH OW0 Z|*shall SH AE0 L|*may M EY0|*might M AY0 T|*must M AH0 S T
*upon AX0 P AA1 N|*onto AA0 N T UW0|*until AH0 N T IH1 L|*unto AH0 N T UW0|*nor N AO0 R
*it's IH0 T S|*i'm AY0 M|*i'll AY0 L|*i've AY0 V|*i'd AY0 D|*you're Y UH0 R|*we're W IH0 R
*they're DH EH0 R|*he's HH IY0 Z|*she's SH IY0 Z|*that's DH AE0 T S|*there's DH EH0 R Z
*you'll Y UW0 L|*we'll W IY0 L|*you've Y UW0 V|*we've W IY0 V|*they've DH EY0 V
*what W AH0 T|*where W EH0 R|*how HH AW0|*why W AY0|*up AH0 P|*out AW0 T
not N AA1 T|all AO1 L|each IY1 CH|about AX0 B AW1 T|more M AO1 R|go G OW1|no N OW1
two T UW1|too T UW1|now N AW1|people P IY1 P AX0 L|over OW1 V ER0|said S EH1 D|one W AH1 N
done D AH1 N|gone G AO1 N|come K AH1 M|love L AH1 V|give G IH1 V|live L IH1 V|move M UW1 V
once W AH1 N S|only OW1 N L IY0|other AH1 DH ER0|mother M AH1 DH ER0|brother B R AH1 DH ER0
another AX0 N AH1 DH ER0|water W AO1 DX ER0|any EH1 N IY0|many M EH1 N IY0|very V EH1 R IY0
every EH1 V R IY0|because B IH0 K AH1 Z|through TH R UW1|thought TH AO1 T|though DH OW1
enough IH0 N AH1 F|laugh L AE1 F|eye AY1|friend F R EH1 N D|says S EH1 Z|again AX0 G EH1 N
against AX0 G EH1 N S T|here HH IY1 R|don't D OW1 N T|can't K AE1 N T|won't W OW1 N T
isn't IH1 Z AX0 N T|let's L EH1 T S|what's W AH1 T S|doesn't D AH1 Z AX0 N T
didn't D IH1 D AX0 N T|wasn't W AH1 Z AX0 N T|aren't AA1 R N T|couldn't K UH1 D AX0 N T
wouldn't W UH1 D AX0 N T|shouldn't SH UH1 D AX0 N T|o'clock AX0 K L AA1 K|hello HH AX0 L OW1
world W ER1 L D|today T AX0 D EY1|tomorrow T AX0 M AA1 R OW0|computer K AX0 M P Y UW1 T ER0
speech S P IY1 CH|voice V OY1 S|english IH1 NG G L IH0 SH|number N AH1 M B ER0
zero Z IH1 R OW0|three TH R IY1|four F AO1 R|five F AY1 V|six S IH1 K S|seven S EH1 V AX0 N
eight EY1 T|nine N AY1 N|ten T EH1 N|eleven IH0 L EH1 V AX0 N|twelve T W EH1 L V
thirteen TH ER1 T IY1 N|fourteen F AO1 R T IY1 N|fifteen F IH1 F T IY1 N
sixteen S IH1 K S T IY1 N|seventeen S EH1 V AX0 N T IY1 N|eighteen EY1 T IY1 N
nineteen N AY1 N T IY1 N|twenty T W EH1 N T IY0|thirty TH ER1 DX IY0|forty F AO1 R DX IY0
fifty F IH1 F T IY0|sixty S IH1 K S T IY0|seventy S EH1 V AX0 N T IY0|eighty EY1 DX IY0
ninety N AY1 N T IY0|hundred HH AH1 N D R AX0 D|thousand TH AW1 Z AX0 N D
million M IH1 L Y AX0 N|billion B IH1 L Y AX0 N|trillion T R IH1 L Y AX0 N|point P OY1 N T
minus M AY1 N AX0 S|percent P ER0 S EH1 N T|dollars D AA1 L ER0 Z|dollar D AA1 L ER0
cents S EH1 N T S|cent S EH1 N T|first F ER1 S T|second S EH1 K AX0 N D|third TH ER1 D
fifth F IH1 F TH|eighth EY1 T TH|ninth N AY1 N TH|twelfth T W EH1 L F TH|equals IY1 K W AX0 L Z
plus P L AH1 S|star S T AA1 R|slash S L AE1 SH|hash HH AE1 SH|dot D AA1 T|quick K W IH1 K
brown B R AW1 N|down D AW1 N|town T AW1 N|cow K AW1|allow AX0 L AW1|power P AW1 ER0
flower F L AW1 ER0|tower T AW1 ER0|dog D AO1 G|work W ER1 K|word W ER1 D|year Y IH1 R
years Y IH1 R Z|great G R EY1 T|good G UH1 D|put P UH1 T|pull P UH1 L|full F UH1 L
push P UH1 SH|sure SH UH1 R|whose HH UW1 Z|use Y UW1 Z|used Y UW1 Z D|women W IH1 M AX0 N
woman W UH1 M AX0 N|child CH AY1 L D|children CH IH1 L D R AX0 N|mister M IH1 S T ER0
missus M IH1 S AX0 Z|miz M IH1 Z|doctor D AA1 K T ER0|et EH1 T|cetera S EH1 DX ER0 AX0
example IH0 G Z AE1 M P AX0 L|system S IH1 S T AX0 M|text T EH1 K S T|read R IY1 D
reader R IY1 DX ER0|screen S K R IY1 N|window W IH1 N D OW0|windows W IH1 N D OW0 Z
file F AY1 L|files F AY1 L Z|open OW1 P AX0 N|close K L OW1 Z|menu M EH1 N Y UW0
button B AH1 T AX0 N|dialog D AY1 AX0 L AO0 G|settings S EH1 T IH0 NG Z|error EH1 R ER0
message M EH1 S AX0 JH|page P EY1 JH|line L AY1 N|lines L AY1 N Z|letter L EH1 DX ER0
paragraph P AE1 R AX0 G R AE0 F|sentence S EH1 N T AX0 N S|minute M IH1 N AX0 T
minutes M IH1 N AX0 T S|hour AW1 ER0|hours AW1 ER0 Z|day D EY1|days D EY1 Z|time T AY1 M
morning M AO1 R N IH0 NG|evening IY1 V N IH0 NG|night N AY1 T|weather W EH1 DH ER0
clear K L IH1 R|later L EY1 DX ER0|rain R EY1 N|cloudy K L AW1 D IY0|sunny S AH1 N IY0
little L IH1 DX AX0 L|before B IH0 F AO1 R|after AE1 F T ER0|also AO1 L S OW0
always AO1 L W EY0 Z|never N EH1 V ER0|something S AH1 M TH IH0 NG|nothing N AH1 TH IH0 NG
everything EH1 V R IY0 TH IH0 NG|anything EH1 N IY0 TH IH0 NG|being B IY1 IH0 NG
going G OW1 IH0 NG|doing D UW1 IH0 NG|saying S EY1 IH0 NG|question K W EH1 S CH AX0 N
answer AE1 N S ER0|listen L IH1 S AX0 N|often AO1 F AX0 N|island AY1 L AX0 N D
heart HH AA1 R T|heard HH ER1 D|learn L ER1 N|early ER1 L IY0|earth ER1 TH|says S EH1 Z
head HH EH1 D|bread B R EH1 D|break B R EY1 K|steak S T EY1 K|machine M AX0 SH IY1 N
police P AX0 L IY1 S|idea AY0 D IY1 AX0|area EH1 R IY0 AX0|able EY1 B AX0 L|table T EY1 B AX0 L
data D EY1 DX AX0|engine EH1 N JH AX0 N|jumped JH AH1 M P T|jump JH AH1 M P|over OW1 V ER0
lazy L EY1 Z IY0|fox F AA1 K S|jumps JH AH1 M P S|quickly K W IH1 K L IY0|five F AY1 V
boxing B AA1 K S IH0 NG|wizards W IH1 Z ER0 D Z|wizard W IH1 Z ER0 D|jolt JH OW1 L T
please P L IY1 Z|thank TH AE1 NG K|thanks TH AE1 NG K S|welcome W EH1 L K AX0 M
yes Y EH1 S|okay OW0 K EY1|ok OW0 K EY1|oh OW1|mount M AW1 N T|saint S EY1 N T
january JH AE1 N Y UW0 EH0 R IY0|february F EH1 B R UW0 EH0 R IY0|august AO1 G AX0 S T
september S EH0 P T EH1 M B ER0|october AA0 K T OW1 B ER0|november N OW0 V EH1 M B ER0
december D IH0 S EH1 M B ER0|monday M AH1 N D EY0|tuesday T UW1 Z D EY0
wednesday W EH1 N Z D EY0|thursday TH ER1 Z D EY0|friday F R AY1 D EY0
saturday S AE1 DX ER0 D EY0|sunday S AH1 N D EY0|versus V ER1 S AX0 S
most M OW1 S T|mostly M OW1 S T L IY0|almost AO1 L M OW2 S T|post P OW1 S T|ghost G OW1 S T
tonight T AX0 N AY1 T|umbrella AH0 M B R EH1 L AX0|degrees D IH0 G R IY1 Z|degree D IH0 G R IY1
synthesis S IH1 N TH AX0 S IH0 S|synthesizer S IH1 N TH AX0 S AY2 Z ER0|language L AE1 NG G W IH0 JH
own OW1 N|know N OW1|known N OW1 N|show SH OW1|low L OW1|slow S L OW1|below B IH0 L OW1
follow F AA1 L OW0|yellow Y EH1 L OW0|grow G R OW1|snow S N OW1
blow B L OW1|throw TH R OW1|borrow B AA1 R OW0|elbow EH1 L B OW2
))";

// Letter names, for words that are spelled out.
constexpr const char* kLetterNames[26] = {
    "EY1",      "B IY1",  "S IY1",    "D IY1",  "IY1",    "EH1 F",  "JH IY1",
    "EY1 CH",   "AY1",    "JH EY1",   "K EY1",  "EH1 L",  "EH1 M",  "EH1 N",
    "OW1",      "P IY1",  "K Y UW1",  "AA1 R",  "EH1 S",  "T IY1",  "Y UW1",
    "V IY1",    "D AH1 B AX0 L Y UW0", "EH1 K S", "W AY1", "Z IY1"};

// Letter-to-sound rules for English, one per line: left[match]right=output.
// Contexts: ' ' word edge, '#' one or more vowels, ':' zero or more
// consonants, '^' one consonant, '.' a voiced consonant, '+' E I or Y,
// '%' a suffix (ER E ES ED ING ELY). Output is ARPAbet without stress
// (J stands for JH). Within a letter, the first rule that matches wins.
constexpr const char* kRules = R"(
[A] =AX
 [ARE] =AAR
 [AR]O=AXR
[AR]#=EHR
^[AS]#=EYS
[A]WA=AX
[AW]=AO
 :[ANY]=EHNIY
[A]^+#=EY
#:[ALLY]=AXLIY
 [AL]#=AXL
[AGAIN]=AXGEHN
#:[AG]E=IHJ
[A]^+:#=AE
 :[A]^+ =EY
[A]^%=EY
 [ARR]=AXR
[ARR]=AER
 :[AR] =AAR
[AR] =ER
[AR]=AAR
[AIR]=EHR
[AI]=EY
[AY]=EY
[AU]=AO
#:[AL] =AXL
#:[ALS] =AXLZ
[ALK]=AOK
[AL]^=AOL
 :[ABLE]=EYBAXL
[ABLE]=AXBAXL
[ANG]+=EYNJ
[A]=AE
 [BE]^#=BIH
[BEING]=BIYIHNX
 [BOTH] =BOWTH
 [BUS]#=BIHZ
[BUIL]=BIHL
[B]=B
 [CH]^=K
^E[CH]=K
[CH]=CH
 S[CI]#=SAY
[CI]A=SH
[CI]O=SH
[CI]EN=SH
[C]+=S
[CK]=K
[COM]%=KAHM
[C]=K
#:[DED] =DIHD
.E[D] =D
#:^E[D] =T
 [DE]^#=DIH
 [DO] =DUW
 [DOES]=DAHZ
 [DOING]=DUWIHNX
 [DOW]=DAW
[DU]A=JUW
[D]=D
#:[E] =
'^:[E] =
 :[E] =IY
#[ED] =D
#:[E]D =
[EV]ER=EHV
[E]^%=IY
[ERI]#=IYRIY
[ERI]=EHRIH
#:[ER]#=ER
[ER]#=EHR
[ER]=ER
 [EVEN]=IYVEHN
#:[E]W=
T[EW]=UW
S[EW]=UW
R[EW]=UW
D[EW]=UW
L[EW]=UW
Z[EW]=UW
N[EW]=UW
J[EW]=UW
TH[EW]=UW
CH[EW]=UW
SH[EW]=UW
[EW]=YUW
[E]O=IY
#:S[ES] =IHZ
#:C[ES] =IHZ
#:G[ES] =IHZ
#:Z[ES] =IHZ
#:X[ES] =IHZ
#:J[ES] =IHZ
#:CH[ES] =IHZ
#:SH[ES] =IHZ
#:[E]S =
#:[ELY] =LIY
#:[EMENT]=MEHNT
[EFUL]=FUHL
[EE]=IY
[EARN]=ERN
 [EAR]^=ER
[EAD]=EHD
#:[EA] =IYAX
[EA]SU=EH
[EA]=IY
[EIGH]=EY
[EI]=IY
 [EYE]=AY
[EY]=IY
[EU]=YUW
[E]=EH
[FUL]=FUHL
[F]=F
[GIV]=GIHV
 [G]I^=G
[GE]T=GEH
SU[GGES]=GJEHS
[GG]=G
 B#[G]=G
[G]+=J
[GREAT]=GREYT
#[GH]=
[G]=G
 [HAV]=HHAEV
 [HERE]=HHIYR
 [HOUR]=AWER
[HOW]=HHAW
[H]#=HH
[H]=
 [IN]=IHN
 [I] =AY
[IN]D=AYN
[IER]=IYER
#:R[IED]=IYD
[IED] =AYD
[IEN]=IYEHN
[IE]T=AYEH
 :[I]%=AY
[I]%=IY
[IE]=IY
[I]^+:#=IH
[IR]#=AYR
[IZ]%=AYZ
[IS]%=AYZ
[I]D%=AY
+^[I]^+=IH
[I]T%=AY
#:^[I]^+=IH
[I]^+=AY
[IR]=ER
[IGH]=AY
[ILD]=AYLD
[IGN] =AYN
[IGN]^=AYN
[IGN]%=AYN
[IQUE]=IYK
[I]=IH
[J]=J
 [K]N=
[K]=K
[LO]C#=LOW
L[L]=
#:^[L]%=AXL
[LEAD]=LIYD
[L]=L
[MOV]=MUWV
[M]=M
E[NG]+=NJ
[NG]R=NXG
[NG]#=NXG
[NGL]%=NXGAXL
[NG]=NX
[NK]=NXK
 [NOW] =NAW
[N]=N
[OF] =AXV
[OROUGH]=EROW
#:[OR] =ER
#:[ORS] =ERZ
[OR]=AOR
 [ONE]=WAHN
[OW]=OW
 [OVER]=OWVER
[OV]=AHV
[O]^%=OW
[O]^EN=OW
[O]^I#=OW
[OL]D=OWL
[OUGHT]=AOT
[OUGH]=AHF
 [OU]=AW
H[OU]S#=AW
[OUS]=AXS
[OUR]=AOR
[OULD]=UHD
^[OU]^L=AH
[OUP]=UWP
[OU]=AW
[OY]=OY
[OING]=OWIHNX
[OI]=OY
[OOR]=AOR
[OOK]=UHK
[OOD]=UHD
[OO]=UW
[O]E=OW
[O] =OW
[OA]=OW
 [ONLY]=OWNLIY
 [ONCE]=WAHNS
[ON'T]=OWNT
C[O]N=AA
[O]NG=AO
 :^[O]N=AH
I[ON]=AXN
#:[ON] =AXN
#^[ON]=AXN
[O]ST =OW
[OF]^=AOF
[OTHER]=AHDHER
[OSS] =AOS
#:^[OM]=AHM
[O]=AA
[PH]=F
[PEOP]=PIYP
[POW]=PAW
[PUT] =PUHT
[P]=P
[QUAR]=KWAOR
[QU]=KW
[Q]=K
 [RE]^#=RIY
[R]=R
[SH]=SH
#[SION]=ZHAXN
[SOME]=SAHM
#[SUR]#=ZHER
[SUR]#=SHER
#[SU]#=ZHUW
#[SSU]#=SHUW
#[SED] =ZD
#[S]#=Z
[SAID]=SEHD
^[SION]=SHAXN
[S]S=
.[S] =Z
#:.E[S] =Z
#:^##[S] =Z
#:^#[S] =S
U[S] =S
 :#[S] =Z
 [SCH]=SK
[S]C+=
#[SM]=ZM
#[SN]'=ZAXN
[S]=S
 [THE] =DHAX
[TO] =TUW
[THAT] =DHAET
 [THIS] =DHIHS
 [THEY]=DHEY
 [THERE]=DHEHR
[THER]=DHER
[THEIR]=DHEHR
 [THAN] =DHAEN
 [THEM] =DHEHM
[THESE] =DHIYZ
 [THEN]=DHEHN
[THROUGH]=THRUW
[THOSE]=DHOWZ
[THOUGH] =DHOW
 [THUS]=DHAHS
[TH]=TH
#:[TED] =TIHD
S[TI]#N=CH
[TI]O=SH
[TI]A=SH
[TIEN]=SHAXN
[TUR]#=CHER
[TU]A=CHUW
 [TWO]=TUW
[T]=T
 [UN]I=YUWN
 [UN]=AHN
 [UPON]=AXPAON
T[UR]#=UHR
S[UR]#=UHR
R[UR]#=UHR
D[UR]#=UHR
L[UR]#=UHR
Z[UR]#=UHR
N[UR]#=UHR
J[UR]#=UHR
TH[UR]#=UHR
CH[UR]#=UHR
SH[UR]#=UHR
[UR]#=YUHR
[UR]=ER
[U]^ =AH
[U]^^=AH
[UY]=AY
 G[U]#=
G[U]%=
G[U]#=W
#N[U]=YUW
T[U]=UW
S[U]=UW
R[U]=UW
D[U]=UW
L[U]=UW
Z[U]=UW
N[U]=UW
J[U]=UW
TH[U]=UW
CH[U]=UW
SH[U]=UW
[U]=YUW
[VIEW]=VYUW
[V]=V
 [WERE]=WER
[WA]S=WAA
[WA]T=WAA
[WHERE]=WEHR
[WHAT]=WAAT
[WHOL]=HHOWL
[WHO]=HHUW
[WH]=W
[WAR]=WAOR
[WOR]^=WER
[WR]=R
[W]=W
[X]=KS
[YOUNG]=YAHNX
 [YOU]=YUW
 [YES]=YEHS
 [Y]=Y
#:^[Y] =IY
#:^[Y]I=IY
 :[Y] =AY
 :[Y]#=AY
 :[Y]^+:#=IH
 :[Y]^#=AY
[Y]=IH
[Z]=Z
)";

struct Rule {
  std::string left, match, right;
  std::vector<Phone> out;
};

bool IsVowelLetter(char c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U'; }
bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsConsonantLetter(char c) { return IsLetter(c) && !IsVowelLetter(c); }
bool IsVoicedConsonant(char c) { return c && std::strchr("BDVGJLMNRWZ", c) != nullptr; }
bool IsFront(char c) { return c == 'E' || c == 'I' || c == 'Y'; }

// Output spellings of the rules: two-letter names first, then one letter.
bool ParseRuleOutput(std::string_view s, std::vector<Phone>& out) {
  size_t i = 0;
  while (i < s.size()) {
    if (i + 1 < s.size()) {
      std::string_view two = s.substr(i, 2);
      if (two == "NX") {
        out.push_back({Ph::NG, 0});
        i += 2;
        continue;
      }
      if (two == "WH") {
        out.push_back({Ph::W, 0});
        i += 2;
        continue;
      }
      if (auto p = PhonemeByName(two)) {
        out.push_back({*p, 0});
        i += 2;
        continue;
      }
    }
    char c = s[i];
    if (c == 'J') {
      out.push_back({Ph::JH, 0});
    } else if (auto p = PhonemeByName(std::string_view(&s[i], 1))) {
      out.push_back({*p, 0});
    } else {
      return false;
    }
    ++i;
  }
  return true;
}

struct RuleSet {
  std::array<std::vector<Rule>, 26> by_letter;
  RuleSet() {
    std::string_view all(kRules);
    while (!all.empty()) {
      size_t nl = all.find('\n');
      std::string_view line = all.substr(0, nl);
      all.remove_prefix(nl == std::string_view::npos ? all.size() : nl + 1);
      size_t lb = line.find('['), rb = line.find(']'), eq = line.find('=', rb);
      if (lb == std::string_view::npos || rb == std::string_view::npos || eq == std::string_view::npos)
        continue;
      Rule r;
      r.left = std::string(line.substr(0, lb));
      r.match = std::string(line.substr(lb + 1, rb - lb - 1));
      r.right = std::string(line.substr(rb + 1, eq - rb - 1));
      if (!ParseRuleOutput(line.substr(eq + 1), r.out) || r.match.empty()) continue;
      char first = r.match[0];
      if (IsLetter(first)) by_letter[first - 'A'].push_back(std::move(r));
    }
  }
};

const RuleSet& Rules() {
  static const RuleSet rules;
  return rules;
}

// Suffix context '%' at position k (forwards); the number of letters, or 0.
size_t SuffixAt(const std::string& w, size_t k) {
  auto at = [&](size_t j) { return j < w.size() ? w[j] : ' '; };
  if (at(k) == 'I' && at(k + 1) == 'N' && at(k + 2) == 'G') return 3;
  if (at(k) == 'E' && at(k + 1) == 'L' && at(k + 2) == 'Y') return 3;
  if (at(k) == 'E' && (at(k + 1) == 'R' || at(k + 1) == 'S' || at(k + 1) == 'D')) return 2;
  if (at(k) == 'E') return 1;
  return 0;
}

bool MatchRight(const std::string& w, size_t pos, const std::string& ctx) {
  size_t k = pos;
  for (char c : ctx) {
    char x = k < w.size() ? w[k] : ' ';
    switch (c) {
      case '#':
        if (!IsVowelLetter(x)) return false;
        while (k < w.size() && IsVowelLetter(w[k])) ++k;
        break;
      case ':':
        while (k < w.size() && IsConsonantLetter(w[k])) ++k;
        break;
      case '^':
        if (!IsConsonantLetter(x)) return false;
        ++k;
        break;
      case '.':
        if (!IsVoicedConsonant(x)) return false;
        ++k;
        break;
      case '+':
        if (!IsFront(x)) return false;
        ++k;
        break;
      case '%': {
        size_t n = SuffixAt(w, k);
        if (!n) return false;
        k += n;
        break;
      }
      case ' ':
        if (IsLetter(x)) return false;
        ++k;
        break;
      default:
        if (x != c) return false;
        ++k;
        break;
    }
  }
  return true;
}

bool MatchLeft(const std::string& w, size_t pos, const std::string& ctx) {
  // pos is the index of the first letter of the match; walk backwards.
  long k = static_cast<long>(pos) - 1;
  auto at = [&](long j) { return j >= 0 && j < static_cast<long>(w.size()) ? w[j] : ' '; };
  for (long ci = static_cast<long>(ctx.size()) - 1; ci >= 0; --ci) {
    char c = ctx[ci];
    char x = at(k);
    switch (c) {
      case '#':
        if (!IsVowelLetter(x)) return false;
        while (k >= 0 && IsVowelLetter(at(k))) --k;
        break;
      case ':':
        while (k >= 0 && IsConsonantLetter(at(k))) --k;
        break;
      case '^':
        if (!IsConsonantLetter(x)) return false;
        --k;
        break;
      case '.':
        if (!IsVoicedConsonant(x)) return false;
        --k;
        break;
      case '+':
        if (!IsFront(x)) return false;
        --k;
        break;
      case ' ':
        if (IsLetter(x)) return false;
        --k;
        break;
      default:
        if (x != c) return false;
        --k;
        break;
    }
  }
  return true;
}

// Primary stress for a word the rules spelled: the first full vowel, moved
// past a few unstressed prefixes and onto the syllable before "-tion".
void AssignStress(std::vector<Phone>& phones, std::string_view letters) {
  std::vector<size_t> vowels;
  for (size_t i = 0; i < phones.size(); ++i) {
    if (IsVowel(phones[i].ph)) vowels.push_back(i);
  }
  if (vowels.empty()) return;
  size_t pick = 0;
  if (vowels.size() >= 2) {
    static const char* const kPrefixes[] = {"be", "de", "re", "pre", "con", "com", "ex",
                                            "dis", "mis", "en", "em", "ab", "ad", "ob"};
    for (const char* p : kPrefixes) {
      size_t n = std::strlen(p);
      if (letters.size() > n + 2 && letters.substr(0, n) == p) pick = 1;
    }
    // "-tion", "-sion", "-ic", "-ity": the syllable before the ending.
    auto ends = [&](std::string_view s) {
      return letters.size() > s.size() + 1 && letters.substr(letters.size() - s.size()) == s;
    };
    if (ends("tion") || ends("sion") || ends("cian") || ends("ic") || ends("ical")) {
      pick = vowels.size() - 2;
    } else if (ends("ity") && vowels.size() >= 3) {
      pick = vowels.size() - 3;
    }
  }
  while (pick + 1 < vowels.size() && phones[vowels[pick]].ph == Ph::AX) ++pick;
  phones[vowels[pick]].stress = 1;
  for (size_t v = 0; v < vowels.size(); ++v) {
    if (v == pick) continue;
    Phone& p = phones[vowels[v]];
    bool diphthong = Is(p.ph, kDiphthong) || p.ph == Ph::IY;
    if (diphthong || ((v + 1 < pick || v > pick + 1) && p.ph != Ph::AX && p.ph != Ph::IH)) {
      // Long vowels and full vowels far from the primary keep a secondary stress.
      p.stress = 2;
    } else if (p.ph == Ph::AA || p.ph == Ph::AH || p.ph == Ph::AE || p.ph == Ph::EH ||
               p.ph == Ph::AO) {
      // Short vowels next to the stress reduce, as in "computer", "spoken".
      p.ph = Ph::AX;
    }
  }
}

struct Lexicon {
  std::unordered_map<std::string, Pronunciation> words;
  Lexicon() {
    std::string_view all(kLexicon);
    size_t i = 0;
    while (i < all.size()) {
      size_t end = all.find_first_of("|\n", i);
      if (end == std::string_view::npos) end = all.size();
      std::string_view entry = all.substr(i, end - i);
      i = end + 1;
      if (entry.empty()) continue;
      bool fn = entry[0] == '*';
      if (fn) entry.remove_prefix(1);
      size_t sp = entry.find(' ');
      if (sp == std::string_view::npos) continue;
      Pronunciation p;
      p.function_word = fn;
      if (ParseArpabet(entry.substr(sp + 1), p.phones))
        words.emplace(std::string(entry.substr(0, sp)), std::move(p));
    }
  }
};

const Lexicon& Lex() {
  static const Lexicon lex;
  return lex;
}

// A word the table lacks that is two words it holds ("toolbar",
// "submenu", "uploaded"), the longest first part first. The first part keeps
// the main stress, as compounds do; the second's becomes a secondary one.
bool SplitCompound(const std::string& word, std::vector<Phone>& out) {
  constexpr size_t kMinFirst = 2, kMinSecond = 3;
  if (word.size() < kMinFirst + kMinSecond || word.find('\'') != std::string::npos) return false;
  for (size_t cut = word.size() - kMinSecond; cut >= kMinFirst; --cut) {
    std::vector<Phone> first, second;
    if (!LookUpWordTable(std::string_view(word).substr(0, cut), first) ||
        !LookUpWordTable(std::string_view(word).substr(cut), second))
      continue;
    bool first_stressed = false;
    for (const Phone& ph : first) first_stressed = first_stressed || ph.stress == 1;
    if (first_stressed) {
      for (Phone& ph : second) {
        if (ph.stress == 1) ph.stress = 2;
      }
    }
    out = std::move(first);
    out.insert(out.end(), second.begin(), second.end());
    return true;
  }
  return false;
}

}  // namespace

bool ParseArpabet(std::string_view text, std::vector<Phone>& out) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    if (j == i) break;
    std::string_view tok = text.substr(i, j - i);
    uint8_t stress = 0;
    if (tok.back() >= '0' && tok.back() <= '2') {
      stress = static_cast<uint8_t>(tok.back() - '0');
      tok.remove_suffix(1);
    }
    std::optional<Ph> p = PhonemeByName(tok);
    if (!p && tok == "DX") p = Ph::DX;
    if (!p) return false;
    out.push_back({*p, stress});
    i = j;
  }
  return true;
}

std::vector<Phone> LetterToSound(std::string_view letters) {
  std::string w;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (IsLetter(c) || c == '\'') w.push_back(c);
  }
  std::vector<Phone> out;
  const RuleSet& rules = Rules();
  size_t pos = 0;
  while (pos < w.size()) {
    char c = w[pos];
    if (!IsLetter(c)) {
      ++pos;
      continue;
    }
    bool matched = false;
    for (const Rule& r : rules.by_letter[c - 'A']) {
      if (w.compare(pos, r.match.size(), r.match) != 0) continue;
      if (!MatchRight(w, pos + r.match.size(), r.right)) continue;
      if (!MatchLeft(w, pos, r.left)) continue;
      out.insert(out.end(), r.out.begin(), r.out.end());
      pos += r.match.size();
      matched = true;
      break;
    }
    if (!matched) ++pos;
  }
  AssignStress(out, std::string_view(letters));
  return out;
}

Pronunciation Pronounce(const Word& word) {
  Pronunciation p;
  if (word.spell) {
    for (char c : word.text) {
      if (c >= 'a' && c <= 'z') ParseArpabet(kLetterNames[c - 'a'], p.phones);
    }
    return p;
  }
  const Lexicon& lex = Lex();
  if (auto it = lex.words.find(word.text); it != lex.words.end()) return it->second;
  if (LookUpWordTable(word.text, p.phones)) return p;
  // Possessives of known words: "people's", "computer's".
  if (word.text.size() > 2 && word.text.compare(word.text.size() - 2, 2, "'s") == 0) {
    std::string base = word.text.substr(0, word.text.size() - 2);
    bool known = false;
    if (auto it = lex.words.find(base); it != lex.words.end()) {
      p = it->second;
      known = true;
    } else {
      known = LookUpWordTable(base, p.phones);
    }
    if (known) {
      Ph last = p.phones.empty() ? Ph::SIL : p.phones.back().ph;
      if (last == Ph::S || last == Ph::Z || last == Ph::SH || last == Ph::ZH || last == Ph::CH ||
          last == Ph::JH) {
        p.phones.push_back({Ph::IH, 0});
        p.phones.push_back({Ph::Z, 0});
      } else if (last == Ph::P || last == Ph::T || last == Ph::K || last == Ph::F || last == Ph::TH) {
        p.phones.push_back({Ph::S, 0});
      } else {
        p.phones.push_back({Ph::Z, 0});
      }
      p.function_word = false;
      return p;
    }
  }
  if (SplitCompound(word.text, p.phones)) return p;
  p.phones = LetterToSound(word.text);
  return p;
}

}  // namespace Quellmar::engine_core
