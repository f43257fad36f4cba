# shellcheck shell=sh disable=SC2034 # sets variables for the script that sources it
# Sourced by the benchmark and screenshot scripts: serves a folder with nginx over HTTPS on loopback, as
# NASA SDO's host would, with a throw-away certificate.
#   serve_standin <work folder> <root> [extra http lines]
# Sets $port, $nginx (the server's pid, for the caller's clean-up) and $standin_cert (the certificate to
# trust, as SSL_CERT_FILE). Requests are logged as "METHOD URI STATUS BYTES" in <work folder>/nginx/access.log.
serve_standin() {
  _work=$1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$_work/key.pem" \
    -out "$_work/cert.pem" -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null
  standin_cert="$_work/cert.pem"
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$_work/nginx"
  cat >"$_work/nginx/nginx.conf" <<CONF
user root root;
daemon off;
worker_processes 1;
pid $_work/nginx/nginx.pid;
error_log $_work/nginx/error.log;
events { worker_connections 64; }
http {
  log_format brief '\$request_method \$uri \$status \$body_bytes_sent';
  access_log $_work/nginx/access.log brief;
  client_body_temp_path $_work/nginx/body;
  proxy_temp_path $_work/nginx/proxy;
  fastcgi_temp_path $_work/nginx/fastcgi;
  uwsgi_temp_path $_work/nginx/uwsgi;
  scgi_temp_path $_work/nginx/scgi;
  types { image/jpeg jpg; text/html html; }
  ${3:-}
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $_work/cert.pem;
    ssl_certificate_key $_work/key.pem;
    root $2;
  }
}
CONF
  /usr/sbin/nginx -e "$_work/nginx/error.log" -p "$_work/nginx" -c "$_work/nginx/nginx.conf" &
  nginx=$!
}
