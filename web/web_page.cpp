#include "web/web_api.h"

// The web console: one page, its style and script inline (no external asset,
// nothing fetched beyond this station). Live through /api/v1/events.
const char* WebConsolePage() {
    return R"KAVRO(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>KAVRO station</title>
<style>
body{font-family:sans-serif;margin:0;padding:1rem;background:#f4f4f4;color:#111}
h1{font-size:1.4rem;margin:0 0 .5rem}
#totals,#image{margin:.3rem 0;overflow-wrap:anywhere}
#bays{display:grid;grid-template-columns:repeat(auto-fill,minmax(16rem,1fr));gap:.8rem;margin:1rem 0}
.tile{background:#fff;border:3px solid #888;border-radius:.4rem;padding:.6rem;overflow-wrap:anywhere}
.tile h2{font-size:1.1rem;margin:0}
.state{font-size:1.6rem;font-weight:bold;margin:.3rem 0}
.passed{border-color:#1a7f37}.passed .state{color:#1a7f37}
.failed{border-color:#c62828}.failed .state{color:#c62828}
.flashing{border-color:#1565c0}.paused{border-color:#b26a00}
progress{width:100%;height:1rem}
button{font-size:1rem;padding:.3rem .8rem;margin:.2rem}
button:focus,input:focus{outline:3px solid #1565c0}
table{border-collapse:collapse;width:100%;background:#fff}
td,th{border:1px solid #ccc;padding:.2rem .4rem;text-align:left;overflow-wrap:break-word}
#records{overflow-x:auto}
</style></head>
<body>
<h1 id="title">KAVRO</h1>
<div id="totals" aria-live="polite"></div>
<div id="image"></div>
<form id="tokenForm"><label for="token" data-t="Token for control"></label>
<input id="token" type="password" autocomplete="off"><button type="submit" data-t="Use token"></button></form>
<div id="controls" hidden><button id="start" data-t="Start"></button><button id="stop" data-t="Stop"></button></div>
<div id="message" role="status"></div>
<main id="bays"></main>
<h2 data-t="Latest records"></h2>
<div id="records"><table><thead><tr><th data-t="Time"></th><th data-t="Bay"></th><th data-t="Unit"></th><th data-t="Result"></th></tr></thead><tbody id="recordRows"></tbody></table></div>
<script>
"use strict";
// Where the program's catalogues (po/de.po, po/zh_CN.po) have a word, these are the same.
const T={de:{"Token for control":"Token für die Steuerung","Use token":"Token verwenden","Start":"Starten","Stop":"Anhalten",
"Pause":"Pause","Resume":"Fortsetzen","Latest records":"Letzte Protokolle","Time":"Zeit","Bay":"Platz","Unit":"Gerät","Result":"Ergebnis",
"Passed":"Bestanden","Failed":"Fehlgeschlagen","Yield":"Ausbeute","Units per hour":"Geräte pro Stunde","Image":"Abbild",
"WAITING":"WARTET","FLASHING":"PROGRAMMIERT","PASSED":"BESTANDEN","FAILED":"FEHLER","PAUSED":"ANGEHALTEN","REMOVE":"ENTNEHMEN",
"OUT OF SERVICE":"AUSSER BETRIEB","STOPPED":"GESTOPPT","IDLE":"BEREIT","DONE":"FERTIG","Refused":"Abgelehnt"},
zh:{"Token for control":"控制令牌","Use token":"使用令牌","Start":"开始","Stop":"停止","Pause":"暂停","Resume":"继续",
"Latest records":"最新记录","Time":"时间","Bay":"工位","Unit":"设备","Result":"结果","Passed":"通过","Failed":"失败","Yield":"良率",
"Units per hour":"每小时设备数","Image":"映像","WAITING":"等待中","FLASHING":"烧录中","PASSED":"通过","FAILED":"失败","PAUSED":"已暂停",
"REMOVE":"请取下","OUT OF SERVICE":"已停用","STOPPED":"已停止","IDLE":"空闲","DONE":"完成","Refused":"已拒绝"}};
const lang=(navigator.languages||[navigator.language||"en"]).map(l=>l.slice(0,2)).find(l=>T[l])||"en";
document.documentElement.lang=lang==="zh"?"zh-CN":lang;
const t=s=>(T[lang]&&T[lang][s])||s;
document.querySelectorAll("[data-t]").forEach(e=>e.textContent=t(e.dataset.t));
let token=sessionStorage.getItem("kavroToken")||"";
const $=id=>document.getElementById(id);
function word(b){
  if(b.state==="flashing")return["FLASHING","flashing"];
  if(b.state==="paused")return["PAUSED","paused"];
  if(b.state==="out-of-service")return["OUT OF SERVICE","failed"];
  if(b.state==="stopped")return["STOPPED",""];
  if(b.state==="idle")return["IDLE",""];
  if((b.state==="removal"||b.state==="done"||b.state==="waiting")&&b.lastResult){
    const ok=b.lastResult==="passed";return[ok?"PASSED":"FAILED",ok?"passed":"failed"];}
  return["WAITING",""];
}
function tile(b){
  let e=$("bay"+b.bay);
  if(!e){e=document.createElement("section");e.id="bay"+b.bay;e.setAttribute("aria-label",t("Bay")+" "+b.bay);
    e.innerHTML='<h2></h2><div class="state"></div><div class="unit"></div><progress max="100" value="0"></progress><div class="reason"></div><button class="pause"></button>';
    e.querySelector(".pause").addEventListener("click",()=>control("/api/v1/bays/"+b.bay+"/"+(e.dataset.state==="paused"?"resume":"pause")));
    $("bays").appendChild(e);}
  const [w,c]=word(b);e.className="tile "+c;e.dataset.state=b.state;
  e.querySelector("h2").textContent=t("Bay")+" "+b.bay+" · "+b.port;
  e.querySelector(".state").textContent=(c==="passed"?"\u2714 ":c==="failed"?"\u2716 ":"")+t(w);
  e.querySelector(".unit").textContent=b.unit?b.unit.name+" · "+b.unit.productNumber:"";
  e.querySelector("progress").value=b.total?Math.round(100*b.position/b.total):0;
  e.querySelector(".reason").textContent=b.lastResult&&b.lastResult!=="passed"?(b.lastMessage||""):"";
  const p=e.querySelector(".pause");p.hidden=!token;p.textContent=t(b.state==="paused"?"Resume":"Pause");
}
async function json(path){const r=await fetch(path,{cache:"no-store"});return r.json();}
async function station(){
  const s=await json("/api/v1/station");$("title").textContent="KAVRO · "+s.station;
  const x=s.totals;$("totals").textContent=t("Passed")+" "+x.passed+" · "+t("Failed")+" "+x.failed+" · "+t("Yield")+" "+(100*x.yield).toFixed(1)+" % · "+t("Units per hour")+" "+x.unitsPerHour.toFixed(0);
  $("image").textContent=t("Image")+": "+s.image.name+" "+s.image.software+" · 0x"+s.image.checksum.toString(16).toUpperCase().padStart(4,"0");
}
async function records(){
  const r=await json("/api/v1/records?limit=10");const body=$("recordRows");body.textContent="";
  for(const x of r.records||[]){const row=body.insertRow();[x.started_utc.slice(11,19),x.port,x.device_name||"",t(x.result==="passed"?"Passed":"Failed")].forEach(v=>row.insertCell().textContent=v);
    row.cells[0].title=x.started_utc;}
}
async function bays(){const r=await json("/api/v1/bays");r.bays.forEach(tile);}
async function control(path){
  const r=await fetch(path,{method:"POST",headers:{"Authorization":"Bearer "+token}});
  $("message").textContent=r.ok?"":(await r.json()).error.message;bays();
}
$("tokenForm").addEventListener("submit",ev=>{ev.preventDefault();token=$("token").value.trim();sessionStorage.setItem("kavroToken",token);showControls();});
function showControls(){$("controls").hidden=!token;bays();}
$("start").addEventListener("click",()=>control("/api/v1/start"));
$("stop").addEventListener("click",()=>control("/api/v1/stop"));
const events=new EventSource("/api/v1/events");
for(const name of["waiting","unit-found","download-started","progress","unit-finished","waiting-for-removal","unit-removed","port-failed","out-of-service","paused","bay-stopped"])
  events.addEventListener(name,m=>{const e=JSON.parse(m.data);tile(e.bayStatus);if(name==="unit-finished")station();});
events.addEventListener("record-stored",()=>records());
// A stream that was cut (a client that fell behind is dropped) resumes from Last-Event-ID; what
// the replay no longer holds is read afresh.
events.addEventListener("open",()=>{bays();station();records();});
showControls();station();records();
</script></body></html>
)KAVRO";
}
